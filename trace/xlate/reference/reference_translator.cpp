#include "trace/xlate/reference/reference_translator.h"

#include <cstring>
#include <sstream>
#include <utility>

#include "trace/xlate/trace_record_layout.h"

namespace quorvel::xlate::reference {
namespace {

std::string Text(const std::uint8_t* field, std::size_t width) {
  std::size_t n = 0;
  while (n < width && field[n] != 0) ++n;
  return std::string(reinterpret_cast<const char*>(field), n);
}

std::string Escape(const std::string& text) {
  std::string result;
  for (char c : text) {
    if (c == '&') result += "&amp;";
    else if (c == '<') result += "&lt;";
    else if (c == '>') result += "&gt;";
    else if (c == '"') result += "&quot;";
    else result += c;
  }
  return result;
}

std::u16string Widen(const std::string& text, const NarrowCodePage& codePage) {
  std::u16string result;
  for (char c : text) result += codePage.table[static_cast<unsigned char>(c)];
  return result;
}

std::string SourceValue(const std::string& key) {
  if (key == "VISA") return "Korvane VISA";
  if (key == "TRIL") return "Korvane TRIL top";
  if (key == "TRIL_B") return "Korvane TRIL Bottom";
  return " ";
}

template <typename T>
T Read(const std::uint8_t* p) {
  T value;
  std::memcpy(&value, p, sizeof value);  // the hosts of this code are little-endian
  return value;
}

enum Kind { kU8, kU16, kU32, kI8, kI16, kI32, kF32, kF64, kPtr, kNone, kOdd };

Kind ParamType(std::uint8_t f, std::uint32_t pointer, std::size_t size, std::ostringstream& s) {
  if ((f & 0x02) && (((f & 0x20) == 0 && (f & 0x10)) || (f & (0x40 | 0x80 | 0x10)) == 0)) {
    s << "pointer32";
    return kPtr;
  }
  if ((f & 0x02) && pointer == 0) {
    s << "pointer32";
    return kPtr;
  }
  Kind kind = kNone;
  if ((f & 0x01) == 0) {
    if (size == 1) { s << "uint8"; kind = kU8; }
    else if (size == 2) { s << "uint16"; kind = kU16; }
    else if (size == 4) { s << "uint32"; kind = kU32; }
    else { s << "uint8"; kind = kU8; }
  } else if ((f & 0x08) == 0) {
    if (size == 1) { s << "int8"; kind = kI8; }
    else if (size == 2) { s << "int16"; kind = kI16; }
    else if (size == 4) { s << "int32"; kind = kI32; }
  } else {
    if (size == 4) { s << "float32"; kind = kF32; }
    else if (size == 8) { s << "float64"; kind = kF64; }
  }
  if (size != 1 && size != 2 && size != 4 && size != 8) kind = kOdd;
  return kind;
}

void Value(Kind kind, const std::uint8_t* v, std::ostringstream& s) {
  switch (kind) {
    case kU8: s << static_cast<unsigned>(v[0]); break;
    case kI8: s << static_cast<int>(static_cast<std::int8_t>(v[0])); break;
    case kU16: s << Read<std::uint16_t>(v); break;
    case kI16: s << Read<std::int16_t>(v); break;
    case kU32: s << Read<std::uint32_t>(v); break;
    case kI32: s << Read<std::int32_t>(v); break;
    case kF32: s << FormatGeneral(static_cast<double>(Read<float>(v))); break;
    case kF64: s << FormatGeneral(Read<double>(v)); break;
    default: s << "UNDEFINED"; break;
  }
}

std::pair<std::uint32_t, std::u16string> Parameters(const std::uint8_t* cursor, const std::uint8_t* end, bool isEnter,
                                                    const NarrowCodePage& codePage) {
  std::uint32_t count = 0;
  std::u16string section;
  while (end - cursor >= 155) {
    ++count;
    const std::uint8_t* e = cursor;
    const std::uint8_t f = e[142];
    std::ostringstream s;
    s << "<Parameter Name=\"" << Text(e + 14, 128) << "\" RetVal=\"" << ((f & 0x80) ? "True\"" : "False\"")
      << ((f & 0x20) ? " InParam=\"True\"" : " InParam=\"False\"")
      << ((f & 0xC0) ? " OutParam=\"True\"" : " OutParam=\"False\"");
    bool hasArray = (f & 0x04) != 0;
    if ((f & 0x02) && (f & 0xC0) && !(f & 0x20) && isEnter) hasArray = false;
    if ((f & 0x02) && (f & 0x20) && !(f & 0xC0) && !isEnter) hasArray = false;
    if (hasArray) {
      if (end - (e + 155) < 19) break;
      const std::uint8_t* h = e + 155;
      const std::uint16_t elementSize = Read<std::uint16_t>(h + 13);
      const std::uint32_t length = Read<std::uint32_t>(h + 15);
      if (static_cast<std::uint64_t>(end - (h + 19)) < length) break;
      const std::uint8_t* data = h + 19;
      s << " ParamType=\"array_";
      Kind kind = ParamType(f, Read<std::uint32_t>(e + 143), elementSize, s);
      s << "\">";
      std::size_t stride = elementSize;
      if (kind == kOdd) {
        stride = 1;
        kind = kU8;
      }
      const std::size_t n = stride == 0 ? 0 : length / stride;
      if (kind == kU8 || kind == kI8) {
        s << "<Element BinHexValue=\"";
        for (std::size_t i = 0; i < n; ++i) {
          const unsigned b = data[i * stride];
          s << "0123456789abcdef"[b >> 4] << "0123456789abcdef"[b & 15];
        }
        s << "\"/>";
      } else {
        for (std::size_t i = 0; i < n; ++i) {
          s << "<Element Value=\"";
          Value(kind, data + i * stride, s);
          s << "\"/>";
        }
      }
      s << "</Parameter>";
      cursor = data + length;
    } else {
      s << " ParamType=\"";
      const std::uint32_t pointer = Read<std::uint32_t>(e + 143);
      const Kind kind = ParamType(f, pointer, e[12], s);
      s << "\"><Element Value=\"";
      if (kind == kPtr) s << "0x" << std::hex << pointer << std::dec;
      else Value(kind, e + 147, s);
      s << "\"/></Parameter>";
      cursor += 155;
    }
    section += Widen(s.str(), codePage);
  }
  if (count > 0) section = u"<Parameters>" + section + u"</Parameters>";
  return {count, section};
}

}  // namespace

std::string FormatGeneral(double value) {
  std::ostringstream s;
  s.precision(6);
  s << value;
  std::string text = s.str();
  if (text == "-nan") return "nan";
  const std::size_t e = text.find('e');
  if (e != std::string::npos) {
    std::string digits = text.substr(e + 2);
    while (digits.size() < 3) digits = "0" + digits;
    text = text.substr(0, e + 2) + digits;
  }
  return text;
}

std::optional<std::u16string> TranslateEvent(const std::uint8_t* begin, const std::uint8_t* end,
                                             const NarrowCodePage& codePage) {
  if (end - begin <= 76) return std::nullopt;
  const std::string key = Text(begin + 12, 64);
  const std::string source = SourceValue(key);
  const std::uint8_t* r = begin + 76;
  if (end - r < 12) return std::nullopt;
  const std::uint32_t kind = Read<std::uint32_t>(r + 8);
  std::ostringstream s;
  std::pair<std::uint32_t, std::u16string> params;
  if (kind == 2) {
    if (end - r < 237) return std::nullopt;
    params = Parameters(r + 237, end, true, codePage);
    s << "<Method_Enter MethodName=\"" << Escape(key + "::" + Text(r + 101, 64)) << "\" Timestamp=\""
      << Read<std::int64_t>(r + 229) << "\" AppName=\"" << Escape(Text(r + 36, 65)) << "\" ThreadID=\""
      << Read<std::uint32_t>(r + 16) << "\" ProcessID=\"" << Read<std::uint32_t>(r + 12) << "\" Address=\""
      << Escape(Text(r + 165, 64)) << "\" Source=\"" << source << "\" ParamCount=\"" << params.first << "\"/>";
  } else if (kind == 3) {
    if (end - r < 178) return std::nullopt;
    params = Parameters(r + 178, end, false, codePage);
    const std::int32_t status = Read<std::int32_t>(r + 38);
    s << (status < 0 ? "<Method_Error" : "<Method_Exit") << " MethodName=\"" << Escape(key) << "\" Timestamp=\""
      << Read<std::int64_t>(r + 170) << "\" ElapsedNS=\""
      << FormatGeneral(static_cast<double>(Read<std::int64_t>(r + 28))) << "\" ThreadID=\""
      << Read<std::uint32_t>(r + 16) << "\" ProcessID=\"" << Read<std::uint32_t>(r + 12) << "\" Address=\""
      << Escape(Text(r + 106, 64)) << "\" Source=\"" << source << "\" ParamCount=\"" << params.first
      << "\" HRESULT=\"" << status << "\"/>";
  } else {
    return std::nullopt;
  }
  return u"<Message><Method>" + Widen(s.str(), codePage) + u"</Method>" + params.second + u"</Message>";
}

}  // namespace quorvel::xlate::reference
