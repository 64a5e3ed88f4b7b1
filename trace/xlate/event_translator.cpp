#include "trace/xlate/event_translator.h"

#include <new>
#include <span>

#include "trace/xlate/number_format.h"
#include "trace/xlate/text_value.h"
#include "trace/xlate/trace_record_layout.h"

namespace quorvel::xlate {
namespace {

// Room for every fixed piece and number of an element; the text values are added.
constexpr std::size_t kElementPiecesAndNumbers = 512;

std::size_t ReservationFor(std::span<const TextValue> values, std::string_view sourceValue) {
  std::size_t n = kElementPiecesAndNumbers + sourceValue.size();
  for (const TextValue& value : values) n += value.MaxUnits();
  return n;
}

// The elements below return the new end, or nullptr when narrow text failed to convert.
char16_t* WriteEnterElement(char16_t* p, const std::uint8_t* record, std::span<const TextValue, 3> values,
                            std::string_view sourceValue, std::uint32_t count, const NarrowCodePage& codePage) {
  p = PutAscii(p, "<Method_Enter MethodName=\"");
  if (!(p = WriteTextValue(p, values[0], codePage))) return nullptr;
  p = PutAscii(p, " Timestamp=\"");
  p = WriteSigned(p, ReadLe<std::int64_t>(record + enter::kTimestamp));
  p = PutAscii(p, "\" AppName=\"");
  if (!(p = WriteTextValue(p, values[1], codePage))) return nullptr;
  p = PutAscii(p, " ThreadID=\"");
  p = WriteUnsigned(p, ReadLe<std::uint32_t>(record + enter::kThreadId));
  p = PutAscii(p, "\" ProcessID=\"");
  p = WriteUnsigned(p, ReadLe<std::uint32_t>(record + enter::kProcessId));
  p = PutAscii(p, "\" Address=\"");
  if (!(p = WriteTextValue(p, values[2], codePage))) return nullptr;
  p = PutAscii(p, " Source=\"");
  p = PutAscii(p, sourceValue);
  p = PutAscii(p, "\" ParamCount=\"");
  p = WriteUnsigned(p, count);
  return PutAscii(p, "\"/>");
}

char16_t* WriteExitElement(char16_t* p, const std::uint8_t* record, std::span<const TextValue, 2> values,
                           std::string_view sourceValue, std::uint32_t count, const NarrowCodePage& codePage) {
  const std::int32_t status = ReadLe<std::int32_t>(record + exit::kStatus);
  p = status < 0 ? PutAscii(p, "<Method_Error") : PutAscii(p, "<Method_Exit");
  p = PutAscii(p, " MethodName=\"");
  if (!(p = WriteTextValue(p, values[0], codePage))) return nullptr;
  p = PutAscii(p, " Timestamp=\"");
  p = WriteSigned(p, ReadLe<std::int64_t>(record + exit::kTimestamp));
  p = PutAscii(p, "\" ElapsedNS=\"");
  p = WriteGeneral(p, ReadLe<std::int64_t>(record + exit::kElapsedNs));
  p = PutAscii(p, "\" ThreadID=\"");
  p = WriteUnsigned(p, ReadLe<std::uint32_t>(record + exit::kThreadId));
  p = PutAscii(p, "\" ProcessID=\"");
  p = WriteUnsigned(p, ReadLe<std::uint32_t>(record + exit::kProcessId));
  p = PutAscii(p, "\" Address=\"");
  if (!(p = WriteTextValue(p, values[1], codePage))) return nullptr;
  p = PutAscii(p, " Source=\"");
  p = PutAscii(p, sourceValue);
  p = PutAscii(p, "\" ParamCount=\"");
  p = WriteUnsigned(p, count);
  p = PutAscii(p, "\" HRESULT=\"");
  p = WriteSigned(p, status);
  return PutAscii(p, "\"/>");
}

// "<Message><Method>" element "</Method>" parameters "</Message>". A failed conversion of
// the element's narrow text leaves an empty message, not none.
template <typename WriteElement>
void WriteMessage(Utf16Buffer& out, std::size_t reservation, const std::uint8_t* params, const std::uint8_t* end,
                  bool isEnter, const NarrowCodePage& codePage, WriteElement writeElement) {
  const std::size_t start = out.Size();
  char16_t* p = PutAscii(out.Reserve(reservation + 32), "<Message><Method>");
  p = writeElement(p);
  if (p == nullptr) {
    out.Truncate(start);
    return;
  }
  out.Commit(PutAscii(p, "</Method>"));
  TranslateParameters(params, end, isEnter, codePage, out);
  out.Commit(PutAscii(out.Reserve(16), "</Message>"));
}

}  // namespace

std::string_view SourceValueFor(std::string_view sourceKey) noexcept {
  if (sourceKey == "VISA") return "Korvane VISA";
  if (sourceKey == "TRIL") return "Korvane TRIL top";
  if (sourceKey == "TRIL_B") return "Korvane TRIL Bottom";
  return " ";
}

bool TranslateMethodEnter(const std::uint8_t* record, const std::uint8_t* end, std::string_view sourceKey,
                          std::string_view sourceValue, const NarrowCodePage& codePage, Utf16Buffer& out) {
  if (end - record < static_cast<std::ptrdiff_t>(enter::kSize)) return false;
  const std::uint8_t* params = record + enter::kSize;
  // The element carries the parameter count, so the entries are counted before it is
  // written; their text follows the element.
  const std::uint32_t count = CountParameters(params, end, true);
  const TextValue values[3] = {
      {{sourceKey, "::", TextField(record + enter::kMethodName, enter::kMethodNameSize)}, 3, true},
      {{TextField(record + enter::kAppName, enter::kAppNameSize)}, 1, true},
      {{TextField(record + enter::kAddress, enter::kAddressSize)}, 1, true},
  };
  WriteMessage(out, ReservationFor(values, sourceValue), params, end, true, codePage, [&](char16_t* p) {
    return WriteEnterElement(p, record, values, sourceValue, count, codePage);
  });
  return true;
}

bool TranslateMethodExit(const std::uint8_t* record, const std::uint8_t* end, std::string_view sourceKey,
                         std::string_view sourceValue, const NarrowCodePage& codePage, Utf16Buffer& out) {
  if (end - record < static_cast<std::ptrdiff_t>(exit::kSize)) return false;
  const std::uint8_t* params = record + exit::kSize;
  const std::uint32_t count = CountParameters(params, end, false);
  const TextValue values[2] = {
      {{sourceKey}, 1, true},
      {{TextField(record + exit::kAddress, exit::kAddressSize)}, 1, true},
  };
  WriteMessage(out, ReservationFor(values, sourceValue), params, end, false, codePage, [&](char16_t* p) {
    return WriteExitElement(p, record, values, sourceValue, count, codePage);
  });
  return true;
}

std::optional<std::u16string_view> EventTranslator::TranslateEvent(const std::uint8_t* begin,
                                                                   const std::uint8_t* end) noexcept {
  try {
    m_out.Clear();
    // Nothing after the header, or less than a record prefix: no output.
    if (begin == nullptr || end <= begin || end - begin <= static_cast<std::ptrdiff_t>(header::kSize + kRecordKind + 4))
      return std::nullopt;
    const std::string_view sourceKey = TextField(begin + header::kSourceKey, header::kSourceKeySize);
    const std::string_view sourceValue = SourceValueFor(sourceKey);
    const std::uint8_t* record = begin + header::kSize;
    bool written = false;
    switch (ReadLe<std::uint32_t>(record + kRecordKind)) {
      case kKindMethodEnter:
        written = TranslateMethodEnter(record, end, sourceKey, sourceValue, *m_codePage, m_out);
        break;
      case kKindMethodExit:
        written = TranslateMethodExit(record, end, sourceKey, sourceValue, *m_codePage, m_out);
        break;
      default:
        break;
    }
    if (!written) return std::nullopt;
    // A NUL behind the text, outside the view, for callers that need a C string.
    *m_out.Reserve(1) = u'\0';
    return m_out.View();
  } catch (...) {
    m_out.Clear();
    return std::nullopt;
  }
}

}  // namespace quorvel::xlate
