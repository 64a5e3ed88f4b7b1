// Error and progress output of a tool or stand-in program: "<program>: error: ..." on stderr,
// "<program>: ..." on stdout, both flushed at once so that a parent reading a pipe sees
// each line when it happens.
#pragma once

#include <windows.h>

#include <string>

namespace support {

void SetProgramName(const char* name);
const char* ProgramName();

void Error(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));
void Info(const char* format, ...) __attribute__((format(__MINGW_PRINTF_FORMAT, 1, 2)));

// Appends "<milliseconds since boot> <who> <what>" as one line to |file| (shared with other
// programs, so tests can see the order of what happened across processes); nothing when
// |file| is empty, an error line when it cannot be opened.
void AppendRecord(const std::string& file, const std::string& who, const std::string& what);
// Appends |text| (whole lines with their ends) to |file| as one piece, serialised with
// every other program appending to the same file through this function; nothing when
// |file| is empty.
void AppendText(const std::string& file, const std::string& text);

// "The system cannot find the file specified. (error 2)"
std::string DescribeError(DWORD error);

}  // namespace support
