// visaConfMgr.dll stand-in: the VISA configuration library that lists the 64-bit VISA
// implementations installed on the machine. It exports four entries by ordinal only:
//   18 VisaConfBegin()                    opens the listing
//   16 VisaConfGetCount(int32_t* count)   the number of implementations
//   12 VisaConfDescribe(index, b16, b256, b1024, name256, b1024)
//                                         one implementation; the display name goes to name256
//   19 VisaConfEnd()                      closes the listing
// Each returns 0 for success and a negative status for failure.
//
// What it reports is read from the environment at every call, so a test can change it
// between listings without reloading the library:
//   VISACONFMGR_LIBRARIES  display names separated by '|' (unset or empty: none)
//   VISACONFMGR_FAIL       ordinals that fail, separated by ',': "18", "16", "12" (every
//                          index) or "12:<index>" (that index only), e.g. "16" or "12:1"
//   VISACONFMGR_RECORD     a file to which each call appends one line ("18", "16",
//                          "12 <index>", "19"), so a test can check the order of calls
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "support/report.h"

namespace {

constexpr int32_t kFailure = static_cast<int32_t>(0xBFFF0011);

std::string Env(const char* name) {
  char value[32768];
  const DWORD n = GetEnvironmentVariableA(name, value, sizeof value);
  return n > 0 && n < sizeof value ? std::string(value, n) : std::string();
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  if (text.empty()) return parts;
  size_t start = 0;
  for (size_t at; (at = text.find(separator, start)) != std::string::npos; start = at + 1) {
    parts.push_back(text.substr(start, at - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// True when VISACONFMGR_FAIL names this call: "<ordinal>" or "<ordinal>:<index>".
bool Fails(int ordinal, int index = -1) {
  for (const std::string& item : Split(Env("VISACONFMGR_FAIL"), ',')) {
    const std::string whole = std::to_string(ordinal);
    if (item == whole || (index >= 0 && item == whole + ":" + std::to_string(index))) return true;
  }
  return false;
}

void Record(const std::string& line) { support::AppendText(Env("VISACONFMGR_RECORD"), line + "\n"); }

void Fill(char* buffer, size_t size, const std::string& text) {
  const size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

}  // namespace

// Exported by ordinal through visaConfMgr.def, without names.
extern "C" {

int32_t VisaConfBegin() {
  Record("18");
  return Fails(18) ? kFailure : 0;
}

int32_t VisaConfGetCount(int32_t* count) {
  Record("16");
  if (Fails(16)) return kFailure;
  *count = static_cast<int32_t>(Split(Env("VISACONFMGR_LIBRARIES"), '|').size());
  return 0;
}

int32_t VisaConfDescribe(int32_t index, char* kind16, char* vendor256, char* path1024,
                                               char* name256, char* options1024) {
  Record("12 " + std::to_string(index));
  const std::vector<std::string> names = Split(Env("VISACONFMGR_LIBRARIES"), '|');
  if (Fails(12, index) || index < 0 || static_cast<size_t>(index) >= names.size()) return kFailure;
  Fill(kind16, 16, "VISA64");
  Fill(vendor256, 256, "stand-in");
  Fill(path1024, 1024, "C:\\Windows\\System32\\visa" + std::to_string(index) + ".dll");
  Fill(name256, 256, names[static_cast<size_t>(index)]);
  Fill(options1024, 1024, "");
  return 0;
}

int32_t VisaConfEnd() {
  Record("19");
  return Fails(19) ? kFailure : 0;
}

}  // extern "C"
