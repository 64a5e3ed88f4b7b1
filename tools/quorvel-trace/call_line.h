// One call as the fields a person reads: when, who, which instrument, what was passed and
// returned, with what status and how long it took. The listing writes them as one line;
// other views (the HTML report) render the same fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/quorvel-trace/call_matcher.h"

namespace qtrace {

struct LineOptions {
  bool hex = false;        // byte buffers as hexadecimal instead of quoted text
  bool utc = false;        // times in UTC instead of local time
  size_t maxChars = 40;    // longest shown value; longer ones are cut and their length given
};

enum class CallHalf { Both, NoExit, NoEnter };

struct CallFields {
  std::string time;           // "14:03:07.123456"
  uint32_t processId = 0, threadId = 0;
  std::string program;        // the process's application name, "" when unknown
  std::string address;
  std::string method;         // "viWrite"; "VISA::?" for an exit without its enter
  std::string inParameters;   // "vi=4097, buf=\"*IDN?\\n\""
  std::string outParameters;  // from the exit
  std::string status;         // "VI_ERROR_TMO (0xBFFF0015)"; "" without an exit
  std::string duration;       // "1.250 ms"; "" without an exit
  bool error = false;
  CallHalf half = CallHalf::Both;
};

// Fills |fields| (their buffers are reused) from a call as the matcher reported it.
void DescribeCall(const MatchedCall& call, const CallMatcher& matcher, const LineOptions& options,
                  CallFields& fields);
// The same for a process whose application name (escaped, as captured) is |appName|.
void DescribeCall(const MatchedCall& call, std::string_view appName, const LineOptions& options, CallFields& fields);
// Appends the fields as one line with its line end:
// "TIME  PID/TID PROGRAM  ADDRESS  METHOD(IN) -> OUT = STATUS  DURATION".
void AppendCallLine(const CallFields& fields, std::string& out);

// A byte buffer as a quoted C string ("*IDN?\n") or hexadecimal, cut at |maxChars| shown
// characters with the full length given: "\"MEAS:VO\"...(1024 bytes)".
void AppendBytes(std::string_view hexDigits, const LineOptions& options, std::string& out);

}  // namespace qtrace
