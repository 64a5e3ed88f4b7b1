// The listing and the shared filters against a capture written by hand: nine calls of two
// programs on four threads (one nested out of order, one without its exit, one exit
// without its enter), entered one second apart from 10:00:00 UTC, so that a listing line's
// seconds say which call it is.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/results.h"
#include "tools/quorvel-trace/testing/capture_builder.h"
#include "tools/quorvel-trace/trace_commands.h"
#include "tools/quorvel-trace/wall_clock.h"

namespace qtrace {
namespace {

using namespace testing_capture;

constexpr int64_t kBase = int64_t{1796637600} * 1000000000;  // 2026-12-07 10:00:00 UTC
constexpr int64_t kSecond = 1000000000;
constexpr int32_t kTimeout = static_cast<int32_t>(0xBFFF0015u);

std::string HandCapture() {
  const std::string gpib = "GPIB0::7::INSTR", lan = "TCPIP0::10.0.0.9::inst0::INSTR";
  const std::string reply = std::string("Halvoric,QV\r\n\x01\"\\", 17);
  return Enter("VISA::viOpen", kBase, "station.exe", 100, 1, gpib, Bytes("rsrcName", true, gpib)) +
         Exit("VISA", kBase + 500, "500", 100, 1, gpib, 0, Param("vi", false, "4097")) +
         Enter("VISA::viWrite", kBase + kSecond, "station.exe", 100, 1, gpib,
               Param("vi", true, "4097") + Bytes("buf", true, "*IDN?\n") + Param("count", true, "6")) +
         Exit("VISA", kBase + kSecond + 2000000, "2e+006", 100, 1, gpib, 0, Param("retCount", false, "6")) +
         Enter("VISA::viRead", kBase + 2 * kSecond, "station.exe", 100, 1, gpib, Param("count", true, "256")) +
         Exit("VISA", kBase + 2 * kSecond + 5000000, "5e+006", 100, 1, gpib, 0x3FFF0005,
              Bytes("buf", false, reply) + Param("retCount", false, "17")) +
         // Call 3 ends after call 4 has begun and ended on another thread.
         Enter("VISA::viWrite", kBase + 3 * kSecond, "bench.exe", 200, 7, lan, Bytes("buf", true, "MEAS?\n")) +
         Enter("VISA::viClear", kBase + 4 * kSecond, "station.exe", 100, 2, "ASRL3::INSTR") +
         Exit("VISA", kBase + 4 * kSecond + 100000, "100000", 100, 2, "ASRL3::INSTR", 0) +
         Exit("VISA", kBase + 5 * kSecond, "2e+009", 200, 7, lan, kTimeout) +
         // Another library's error carries no VISA name.
         Enter("TRIL::trilSend", kBase + 5 * kSecond + kSecond / 2, "bench.exe", 200, 7, lan) +
         Exit("TRIL", kBase + 5 * kSecond + kSecond / 2 + 300000, "300000", 200, 7, lan, kTimeout) +
         Enter("VISA::viRead", kBase + 6 * kSecond, "station.exe", 100, 1, gpib) +
         Exit("VISA", kBase + 6 * kSecond + 3000000, "3e+006", 100, 1, gpib, static_cast<int32_t>(0xBFFF7777u)) +
         Enter("VISA::viClose", kBase + 7 * kSecond, "station.exe", 100, 1, gpib, Param("vi", true, "4097")) +
         Exit("VISA", kBase + 8 * kSecond, "40", 300, 9, "ASRL1::INSTR", 0);
}

class HandCaptureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    m_path = ::testing::TempDir() + "qtrace_hand.qtrace";
    std::ofstream(m_path, std::ios::binary) << HandCapture();
  }
  void TearDown() override { std::remove(m_path.c_str()); }

  // The command's exit code, standard output and error output.
  struct Run {
    int code;
    std::string out, err;
  };
  static Run Command(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = RunFileCommand(args, out, err);
    return {code, out.str(), err.str()};
  }
  Run List(std::vector<std::string> options) const {
    std::vector<std::string> args{"list", m_path, "--utc"};
    args.insert(args.end(), options.begin(), options.end());
    return Command(args);
  }

  std::string m_path;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Which calls a listing shows: the seconds of each call line's time, "--" for a separator.
std::string CallsShown(const std::string& listing) {
  std::string shown;
  for (const std::string& line : Lines(listing)) {
    if (line == "--") shown += "- ";
    else if (line.starts_with("10:00:0")) shown += line.substr(7, 1) + " ";
  }
  return shown;
}

TEST_F(HandCaptureTest, FiltersChooseCallsAloneAndCombined) {
  const struct {
    std::vector<std::string> options;
    std::string shown;
  } cases[] = {
      {{}, "0 1 2 3 4 5 6 7 8 "},
      {{"--address", "gpib*"}, "0 1 2 6 7 "},
      {{"--address", "TCPIP0::*::INSTR"}, "3 5 "},
      {{"--method", "viRead"}, "2 6 "},
      {{"--method", "vi*e"}, "1 3 7 "},
      {{"--process", "200"}, "3 5 "},
      {{"--process", "BENCH*"}, "3 5 "},
      {{"--thread", "2"}, "4 "},
      {{"--errors"}, "3 5 6 "},
      {{"--slower-than", "3ms"}, "2 3 "},
      {{"--slower-than", "2999us"}, "2 3 6 "},
      {{"--from", "2", "--to", "4"}, "2 3 4 "},
      {{"--from", "10:00:06"}, "6 7 8 "},
      {{"--to", "10:00:00.5"}, "0 "},
      {{"--errors", "--process", "station.exe"}, "6 "},
      {{"--errors", "--address", "gpib*", "--slower-than", "1ms"}, "6 "},
      {{"--method", "viRead", "--thread", "7"}, ""},
      // Context: the neighbours on the chosen call's own thread, before and after.
      {{"--errors", "--context", "1"}, "3 5 - 2 6 7 "},
      {{"--thread", "2", "--context", "5"}, "4 "},
      {{"--method", "viClose", "--context", "2"}, "2 6 7 "},
  };
  for (const auto& c : cases) {
    std::string label;
    for (const std::string& o : c.options) label += o + " ";
    SCOPED_TRACE(label);
    const Run run = List(c.options);
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_EQ(CallsShown(run.out), c.shown) << run.out;
  }
}

TEST_F(HandCaptureTest, LinesShowParametersStatusesAndUnmatchedHalves) {
  const Run run = List({});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  const std::vector<std::string> lines = Lines(run.out);
  ASSERT_EQ(lines.size(), 10u) << run.out;
  EXPECT_EQ(lines[0],
            "10:00:00.000000  100/1 station.exe  GPIB0::7::INSTR  viOpen(rsrcName=\"GPIB0::7::INSTR\") -> vi=4097 = "
            "VI_SUCCESS (0x00000000)  500 ns");
  EXPECT_EQ(lines[1],
            "10:00:01.000000  100/1 station.exe  GPIB0::7::INSTR  viWrite(vi=4097, buf=\"*IDN?\\n\", count=6) -> "
            "retCount=6 = VI_SUCCESS (0x00000000)  2.000 ms");
  // Bytes that need escaping, and a success code with its name.
  EXPECT_NE(lines[2].find("-> buf=\"Halvoric,QV\\r\\n\\x01\\\"\\\\\\0\", retCount=17 = VI_SUCCESS_TERM_CHAR (0x3FFF0005)"),
            std::string::npos)
      << lines[2];
  EXPECT_NE(lines[3].find("200/7 bench.exe  TCPIP0::10.0.0.9::inst0::INSTR  viWrite(buf=\"MEAS?\\n\") = "
                          "VI_ERROR_TMO (0xBFFF0015)  2.000 s"),
            std::string::npos)
      << lines[3];
  EXPECT_NE(lines[5].find("trilSend() = 0xBFFF0015  300.0 us"), std::string::npos) << lines[5];
  EXPECT_NE(lines[6].find("viRead() = 0xBFFF7777  3.000 ms"), std::string::npos) << lines[6];
  EXPECT_NE(lines[7].find("viClose(vi=4097) -> (no exit)"), std::string::npos) << lines[7];
  EXPECT_EQ(lines[8], "10:00:08.000000  300/9  ASRL1::INSTR  VISA::?(no enter) = VI_SUCCESS (0x00000000)  40 ns");
  EXPECT_EQ(lines[9], "16 messages, 9 calls, 3 with an error; 1 calls without an exit, 1 exits without an enter.");
}

TEST_F(HandCaptureTest, LongBuffersAreCutWithTheirLengthOrShownInHex) {
  const Run cut = List({"--method", "viRead", "-s", "8"});
  EXPECT_NE(cut.out.find("buf=\"Halvoric\"...(17 bytes)"), std::string::npos) << cut.out;
  // An escape is never split: "\r" would pass the limit of 12 characters.
  const Run escape = List({"--method", "viRead", "-s", "12"});
  EXPECT_NE(escape.out.find("buf=\"Halvoric,QV\"...(17 bytes)"), std::string::npos) << escape.out;
  const Run hex = List({"--method", "viWrite", "--hex"});
  EXPECT_NE(hex.out.find("buf=2a49444e3f0a,"), std::string::npos) << hex.out;
  const Run hexCut = List({"--method", "viWrite", "--hex", "-s", "4"});
  EXPECT_NE(hexCut.out.find("buf=2a49...(6 bytes)"), std::string::npos) << hexCut.out;
}

// Every reading command closes with the same counts for the same filters.
TEST_F(HandCaptureTest, ClosingLineIsTheSameInEveryCommand) {
  const std::string json = ::testing::TempDir() + "qtrace_hand.json", svg = ::testing::TempDir() + "qtrace_hand.svg";
  for (const std::vector<std::string>& filters : std::vector<std::vector<std::string>>{
           {}, {"--errors"}, {"--process", "station.exe", "--from", "1"}, {"--address", "nothing"}}) {
    std::vector<std::string> lasts;
    for (const std::vector<std::string>& command : std::vector<std::vector<std::string>>{
             {"list", m_path}, {"summary", m_path}, {"export", m_path, "-o", json},
             {"timeline", m_path, "-o", svg}}) {
      std::vector<std::string> args = command;
      args.insert(args.end(), filters.begin(), filters.end());
      const Run run = Command(args);
      ASSERT_EQ(run.code, kExitOk) << args[0] << ": " << run.err;
      ASSERT_FALSE(Lines(run.out).empty()) << args[0];
      lasts.push_back(Lines(run.out).back());
    }
    SCOPED_TRACE(filters.empty() ? "no filter" : filters[0]);
    EXPECT_NE(lasts[0].find(" calls, "), std::string::npos) << lasts[0];
    for (size_t i = 1; i < lasts.size(); ++i) EXPECT_EQ(lasts[i], lasts[0]);
  }
  IgnoreResult(std::remove(json.c_str()));
  IgnoreResult(std::remove(svg.c_str()));
}

TEST_F(HandCaptureTest, SummaryGivesTheSpanAndTheErrorsByStatus) {
  const Run run = Command({"summary", m_path, "--utc"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("Capture: first message 2026-12-07 10:00:00.000000 UTC, last 2026-12-07 10:00:08.000000 UTC, "
                         "8.000 s in all"),
            std::string::npos)
      << run.out;
  const std::string table = run.out.substr(run.out.find("Errors by status"));
  // By status and library: the other library's code of the same value is a row of its own.
  for (const char* row : {"VI_ERROR_TMO                 0xBFFF0015         1  TCPIP0::10.0.0.9::inst0::INSTR\n",
                          "?                            0xBFFF0015         1  TCPIP0::10.0.0.9::inst0::INSTR\n",
                          "?                            0xBFFF7777         1  GPIB0::7::INSTR\n"}) {
    EXPECT_NE(table.find(row), std::string::npos) << table;
  }
  const Run none = Command({"summary", m_path, "--thread", "2"});
  EXPECT_NE(none.out.find("Errors by status\n(none)\n"), std::string::npos) << none.out;
}

TEST_F(HandCaptureTest, BadOptionsAreUsageErrors) {
  for (const std::vector<std::string>& options : std::vector<std::vector<std::string>>{
           {"--slower-than", "3"}, {"--from", "25:00:00"}, {"--thread", "x"}, {"--bogus"}, {"--context"}}) {
    const Run run = List(options);
    // The parser says why on the program's standard error; nothing is listed.
    EXPECT_EQ(run.code, kExitUsage) << options[0];
    EXPECT_EQ(run.out, "");
  }
}

// Times anywhere in the 64-bit range are read, listed and counted; the timeline says what
// it could not draw.
TEST(ExtremeTimes, AreListedCountedAndNotDrawn) {
  const std::string path = ::testing::TempDir() + "qtrace_extreme.qtrace";
  const std::string svg = ::testing::TempDir() + "qtrace_extreme.svg";
  std::ofstream(path, std::ios::binary)
      << Enter("VISA::viRead", INT64_MIN, "a.exe", 1, 1, "GPIB0::1::INSTR")
      << Exit("VISA", INT64_MAX, "9.22337e+018", 1, 1, "GPIB0::1::INSTR", 0)
      << Enter("VISA::viWrite", 1000, "a.exe", 1, 1, "GPIB0::1::INSTR")
      << Exit("VISA", 2000, "-9.22337e+018", 1, 1, "GPIB0::1::INSTR", 0)
      << Exit("VISA", INT64_MIN, "9.2e+018", 1, 2, "GPIB0::1::INSTR", 0);
  std::ostringstream out, err;
  ASSERT_EQ(RunFileCommand({"list", path, "--utc"}, out, err), kExitOk) << err.str();
  EXPECT_NE(out.str().find("00:12:43.145224  1/1 a.exe  GPIB0::1::INSTR  viRead() = VI_SUCCESS"), std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("5 messages, 3 calls, 0 with an error; 0 calls without an exit, 1 exits without an enter."),
            std::string::npos);
  std::ostringstream summary, timeline;
  ASSERT_EQ(RunFileCommand({"summary", path, "--from", "0"}, summary, err), kExitOk) << err.str();
  EXPECT_NE(summary.str().find("in all"), std::string::npos) << summary.str();
  ASSERT_EQ(RunFileCommand({"timeline", path, "-o", svg}, timeline, err), kExitOk) << err.str();
  EXPECT_NE(timeline.str().find("2 calls not drawn"), std::string::npos) << timeline.str();
  IgnoreResult(std::remove(path.c_str()));
  IgnoreResult(std::remove(svg.c_str()));
}

// Captured text with control characters (an escaped line end in an address, a stray
// control byte in a program name) never splits a listing line.
TEST(CapturedText, ControlCharactersStayOnTheirLine) {
  const std::string path = ::testing::TempDir() + "qtrace_controls.qtrace";
  std::ofstream(path, std::ios::binary) << Enter("VISA::viClear", 1000, "a\x01.exe", 1, 1, "GPIB0&#10;&#13;x")
                                        << Exit("VISA", 2000, "1000", 1, 1, "GPIB0&#10;&#13;x", 0);
  std::ostringstream out, err;
  ASSERT_EQ(RunFileCommand({"list", path}, out, err), kExitOk) << err.str();
  EXPECT_EQ(Lines(out.str()).size(), 2u) << out.str();
  EXPECT_NE(out.str().find("1/1 a\\x01.exe  GPIB0\\x0a\\x0dx  viClear()"), std::string::npos) << out.str();
  IgnoreResult(std::remove(path.c_str()));
}

// UTC dates come from our own calendar arithmetic, the same on every runtime, over the whole
// range of the trace clock.
TEST(WallClock, UtcDatesAcrossTheClocksRange) {
  const struct {
    int64_t ns;
    const char* text;
  } cases[] = {
      {0, "1970-01-01 00:00:00.000000 UTC"},
      {-1, "1969-12-31 23:59:59.999999 UTC"},
      {int64_t{1709208000} * 1000000000 + 1500, "2024-02-29 12:00:00.000001 UTC"},
      {int64_t{951868800} * 1000000000, "2000-03-01 00:00:00.000000 UTC"},
      {int64_t{-2208988800} * 1000000000, "1900-01-01 00:00:00.000000 UTC"},
      {INT64_MIN, "1677-09-21 00:12:43.145224 UTC"},
      {INT64_MAX, "2262-04-11 23:47:16.854775 UTC"},
  };
  for (const auto& c : cases) EXPECT_EQ(DateTimeText(c.ns, true), c.text) << c.ns;
}

}  // namespace
}  // namespace qtrace
