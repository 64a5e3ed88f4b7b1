#include "standins/ombrix-service/service_objects.h"

#include <cstring>

#include "base/results.h"

#include "support/options.h"
#include "support/report.h"
#include "support/stop_signal.h"

namespace ombrix {
namespace {

void WriteInt(char* base, size_t offset, int32_t value) { std::memcpy(base + offset, &value, sizeof value); }

void WriteText(char* field, size_t size, const std::string& text, bool unterminated) {
  if (unterminated) {
    // Repeat the text (or 'x') over the whole field, leaving no NUL inside it.
    std::string pattern = text.empty() ? std::string("x") : text;
    for (size_t i = 0; i < size; ++i) field[i] = pattern[i % pattern.size()];
    return;
  }
  size_t n = text.size() < size - 1 ? text.size() : size - 1;
  std::memcpy(field, text.data(), n);
  field[n] = '\0';
}

}  // namespace

bool InfoBlock::Publish(const InfoBlockContent& content, std::string& error) {
  UniqueHandle mapping(CreateFileMappingA(INVALID_HANDLE_VALUE, support::NullDaclAttributes(), PAGE_READWRITE, 0,
                                          kInfoBlockSize, kInfoBlockName));
  if (!mapping) {
    error = std::string("cannot create ") + kInfoBlockName + ": " + support::DescribeError(GetLastError());
    return false;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    error = std::string(kInfoBlockName) + " exists already: is another service running?";
    return false;
  }
  const UniqueView block(MapViewOfFile(mapping.Get(), FILE_MAP_WRITE, 0, 0, kInfoBlockSize));
  if (!block) {
    error = std::string("cannot map ") + kInfoBlockName + ": " + support::DescribeError(GetLastError());
    return false;
  }
  auto* view = ViewAs<char>(block);
  WriteInt(view, 0, static_cast<int32_t>(kInfoBlockSize));
  WriteInt(view, kHasMessageOffset, content.hasMessage);
  WriteInt(view, kRefuseStartOffset, content.refuseStart);
  WriteInt(view, kShowMessageOffset, content.showMessage);
  WriteText(view + kMessageOffset, kMessageSize, content.message, content.unterminated);
  WriteText(view + kStatusLineOffset, kStatusLineSize, content.statusLine, content.unterminated);
  m_mapping = std::move(mapping);
  return true;
}

bool ParseEventMode(const std::string& text, EventMode& mode) {
  if (text == "signalled") {
    mode = {EventMode::Signalled, 0};
  } else if (text == "unsignalled") {
    mode = {EventMode::Unsignalled, 0};
  } else if (text == "absent") {
    mode = {EventMode::Absent, 0};
  } else if (text.rfind("after:", 0) == 0) {
    int64_t ms = 0;
    if (!support::ParseInteger(std::string_view(text).substr(6), 0, 86400000, ms)) return false;
    mode = {EventMode::SignalledLater, static_cast<DWORD>(ms)};
  } else {
    return false;
  }
  return true;
}

bool RunningEvent::Create(const char* name, const EventMode& mode, std::string& error) {
  if (mode.kind == EventMode::Absent) return true;
  BOOL initial = mode.kind == EventMode::Signalled;
  UniqueHandle event(CreateEventA(support::NullDaclAttributes(), TRUE, initial, name));
  if (!event) {
    error = std::string("cannot create ") + name + ": " + support::DescribeError(GetLastError());
    return false;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    error = std::string(name) + " exists already: is another service running?";
    return false;
  }
  m_event = std::move(event);
  return true;
}

void RunningEvent::Signal() const {
  if (m_event) IgnoreResult(SetEvent(m_event.Get()));  // cannot fail for the event it created
}

}  // namespace ombrix
