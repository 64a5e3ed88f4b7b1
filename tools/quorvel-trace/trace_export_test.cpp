// JSON text from captured bytes stays valid JSON whatever the bytes, and the export's
// times keep every nanosecond.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "base/results.h"
#include "tools/quorvel-trace/json_text.h"
#include "tools/quorvel-trace/testing/capture_builder.h"
#include "tools/quorvel-trace/trace_commands.h"

namespace qtrace {
namespace {

using testing_capture::Enter;
using testing_capture::Exit;

TEST(JsonString, EscapesWhatJsonForbidsAndReplacesBrokenUtf8) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"plain", "\"plain\""},
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {std::string("\r\n\t\0", 4), "\"\\u000d\\u000a\\u0009\\u0000\""},
      {"caf\xc3\xa9 \xe2\x82\xac", "\"caf\xc3\xa9 \xe2\x82\xac\""},  // valid UTF-8 passes
      {"\xe9t\xe9", "\"\\ufffdt\\ufffd\""},                           // a Latin-1 byte alone
      {"\xe2\x82", "\"\\ufffd\\ufffd\""},                             // cut sequence
      {"\xc0\xaf", "\"\\ufffd\\ufffd\""},                             // over-long form
      {"\xed\xa0\x80", "\"\\ufffd\\ufffd\\ufffd\""},                  // surrogate
  };
  for (const auto& c : cases) {
    std::string out;
    AppendJsonString(out, c.in);
    EXPECT_EQ(out, c.out);
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(TraceExport, TimesAreMicrosecondsFromTheFirstMessageToTheNanosecond) {
  const std::string capture = testing::TempDir() + "qtrace_times.qtrace";
  const std::string json = testing::TempDir() + "qtrace_times.json";
  {
    std::ofstream out(capture, std::ios::binary);
    // A call that began 1.5 us before the first captured message (an exit of another
    // thread), lasting 1234567 ns.
    out << Exit("VISA", 1700000000000001500, "7", 9, 2, "x", 0)
        << Enter("VISA::viRead", 1700000000000000000, "a.exe", 9, 1, "x")
        << Exit("VISA", 1700000000001234567, "1.23457e+006", 9, 1, "x", 0);
  }
  std::ostringstream out, err;
  ReadOptions options;
  ASSERT_EQ(RunExport(capture, options, json, out, err), kExitOk) << err.str();
  const std::string text = ReadFile(json);
  EXPECT_NE(text.find("\"ts\":-1.500,\"dur\":1234.567,"), std::string::npos) << text;
  EXPECT_NE(text.find("\"ph\":\"i\",\"s\":\"t\",\"name\":\"VISA::?\""), std::string::npos) << text;
  IgnoreResult(std::remove(capture.c_str()));
  IgnoreResult(std::remove(json.c_str()));
}

TEST(TraceExport, ABadCaptureLeavesNoClaimOfSuccess) {
  const std::string capture = testing::TempDir() + "qtrace_bad.qtrace";
  const std::string json = testing::TempDir() + "qtrace_bad.json";
  std::ofstream(capture, std::ios::binary) << "<Message><Method>\n<Message>\n";
  std::ostringstream out, err;
  ReadOptions options;
  EXPECT_EQ(RunExport(capture, options, json, out, err), kExitFailed);
  EXPECT_NE(err.str().find("qtrace_bad.qtrace:1: not a trace message"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
  EXPECT_FALSE(std::ifstream(json).good()) << "a half-written export was left behind";
  IgnoreResult(std::remove(capture.c_str()));
}

}  // namespace
}  // namespace qtrace
