#include "standins/ombrix-service/service_objects.h"

#include <cstring>

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

InfoBlock::~InfoBlock() {
  if (m_mapping) CloseHandle(m_mapping);
}

bool InfoBlock::Publish(const InfoBlockContent& content, std::string& error) {
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, support::NullDaclAttributes(), PAGE_READWRITE, 0,
                                      kInfoBlockSize, kInfoBlockName);
  if (!mapping) {
    error = std::string("cannot create ") + kInfoBlockName + ": " + support::DescribeError(GetLastError());
    return false;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(mapping);
    error = std::string(kInfoBlockName) + " exists already: is another service running?";
    return false;
  }
  auto* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, kInfoBlockSize));
  if (!view) {
    error = std::string("cannot map ") + kInfoBlockName + ": " + support::DescribeError(GetLastError());
    CloseHandle(mapping);
    return false;
  }
  WriteInt(view, 0, static_cast<int32_t>(kInfoBlockSize));
  WriteInt(view, kHasMessageOffset, content.hasMessage);
  WriteInt(view, kRefuseStartOffset, content.refuseStart);
  WriteInt(view, kShowMessageOffset, content.showMessage);
  WriteText(view + kMessageOffset, kMessageSize, content.message, content.unterminated);
  WriteText(view + kStatusLineOffset, kStatusLineSize, content.statusLine, content.unterminated);
  UnmapViewOfFile(view);
  m_mapping = mapping;
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

RunningEvent::~RunningEvent() {
  if (m_event) CloseHandle(m_event);
}

bool RunningEvent::Create(const char* name, const EventMode& mode, std::string& error) {
  if (mode.kind == EventMode::Absent) return true;
  BOOL initial = mode.kind == EventMode::Signalled;
  HANDLE event = CreateEventA(support::NullDaclAttributes(), TRUE, initial, name);
  if (!event) {
    error = std::string("cannot create ") + name + ": " + support::DescribeError(GetLastError());
    return false;
  }
  if (GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(event);
    error = std::string(name) + " exists already: is another service running?";
    return false;
  }
  m_event = event;
  return true;
}

void RunningEvent::Signal() const {
  if (m_event) SetEvent(m_event);
}

}  // namespace ombrix
