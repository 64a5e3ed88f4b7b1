// Reading captured lines: the relay's own messages, its loose spots (names written
// unescaped), and files that are cut short, foreign or broken in some other way.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/results.h"
#include "tools/quorvel-trace/trace_message.h"
#include "tools/quorvel-trace/trace_reader.h"

namespace qtrace {
namespace {

// The test capture's lines, read once.
std::vector<std::string> SmallCaptureLines() {
  std::vector<std::string> lines;
  std::FILE* f = std::fopen(QTRACE_TESTDATA "/small.qtrace", "rb");
  if (f == nullptr) return lines;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, f) != nullptr) lines.emplace_back(buffer, std::strcspn(buffer, "\n"));
  IgnoreResult(std::fclose(f));
  return lines;
}

// Line |index| of the test capture, parsed; a failure to read or parse it fails the test.
// The message points into its line, so the lines live as long as the program.
TraceMessage SmallCaptureMessage(size_t index) {
  static const std::vector<std::string> lines = SmallCaptureLines();
  TraceMessage m;
  std::string error;
  EXPECT_EQ(lines.size(), 14u);
  EXPECT_TRUE(index < lines.size() && ParseTraceMessage(lines[index], m, error)) << error;
  return m;
}

TEST(TraceMessage, ReadsEveryAttributeOfAnEnter) {
  const TraceMessage m = SmallCaptureMessage(2);
  EXPECT_EQ(m.kind, MessageKind::Enter);
  EXPECT_EQ(m.method, "TRIL::trilSend");
  EXPECT_EQ(m.timestamp, 1500);
  EXPECT_EQ(m.appName, "b&amp;c.exe");
  EXPECT_EQ(Unescape(m.appName), "b&c.exe");
  EXPECT_EQ(m.threadId, 7u);
  EXPECT_EQ(m.processId, 200u);
  EXPECT_EQ(m.address, "TCPIP0::h::INSTR");
  EXPECT_EQ(m.source, "Korvane TRIL top");
  EXPECT_EQ(m.paramCount, 0u);
  EXPECT_TRUE(m.parameters.empty());
}

TEST(TraceMessage, ReadsAnErrorExitWithItsStatus) {
  const TraceMessage m = SmallCaptureMessage(9);
  EXPECT_EQ(m.kind, MessageKind::Error);
  EXPECT_EQ(m.method, "VISA");
  EXPECT_EQ(m.hresult, -1073807343);
  EXPECT_EQ(m.elapsedNs, 3000);
  EXPECT_EQ(m.timestamp, 7100);
}

TEST(TraceMessage, ReadsExponentElapsedTimes) {
  const std::string line =
      "<Message><Method><Method_Exit MethodName=\"VISA\" Timestamp=\"-5\" ElapsedNS=\"1.23457e+006\" ThreadID=\"1\" "
      "ProcessID=\"2\" Address=\"\" Source=\" \" ParamCount=\"0\" HRESULT=\"0\"/></Method></Message>";
  TraceMessage m;
  std::string error;
  ASSERT_TRUE(ParseTraceMessage(line, m, error)) << error;
  EXPECT_DOUBLE_EQ(m.elapsedNs, 1234570);
  EXPECT_EQ(m.timestamp, -5);
  EXPECT_EQ(m.source, " ");
}

TEST(TraceMessage, ParameterNamesAreTakenAsWrittenEvenWithQuotes) {
  const TraceMessage m = SmallCaptureMessage(6);
  std::vector<std::string> seen;
  std::string error;
  ASSERT_TRUE(ForEachParameter(m.parameters, [&](const Parameter& p) {
    seen.push_back(std::string(p.name) + "|" + std::string(p.type) + "|" + ElementValues(p.elements, 100) + "|" +
                   (p.in ? "in" : "") + (p.out ? "out" : "") + (p.retVal ? "ret" : ""));
  }, error)) << error;
  EXPECT_EQ(seen, (std::vector<std::string>{"buf|array_uint8|2a49444e3f0a|in", "na\"me<|uint32|6|in"}));
}

TEST(TraceMessage, ElementValuesAreJoinedAndCut) {
  const std::string run = "<Element Value=\"-3\"/><Element Value=\"7\"/><Element Value=\"123456\"/>";
  EXPECT_EQ(ElementValues(run, 100), "-3,7,123456");
  EXPECT_EQ(ElementValues(run, 6), "-3,7,1...");
  EXPECT_EQ(ElementValues("", 10), "");
}

TEST(TraceMessage, UnescapeUndoesEntitiesAndLineEnds) {
  EXPECT_EQ(Unescape("a&lt;b&amp;&quot;c&quot;&gt;&#13;&#10;&apos;&"), "a<b&\"c\">\r\n&apos;&");
}

// Each broken line is rejected with a reason; none is taken as a message.
TEST(TraceMessage, RejectsLinesThatAreNotMessages) {
  const std::string good = SmallCaptureLines().at(0);
  const struct {
    std::string line;
    std::string reason;
  } cases[] = {
      {"hello world", "not a trace message"},
      {"<Message><Method><Method_Enter MethodName=\"VISA::x", "unterminated attribute value"},
      {good.substr(0, good.size() - 1), "does not end with </Message>"},
      {good.substr(0, good.find("Timestamp=\"") + 11) + "12x" + good.substr(good.find("\" AppName")), "not a number"},
      {good.substr(0, good.find("ThreadID=\"") + 10) + "4294967296" + good.substr(good.find("\" ProcessID")),
       "not a number"},
      {good.substr(0, good.find("<Parameters>")) + "junk</Message>", "unexpected text"},
      {"<Message><Method><Method_Exit MethodName=\"VISA\" Timestamp=\"1\" ElapsedNS=\"nan\" ThreadID=\"1\" "
       "ProcessID=\"2\" Address=\"\" Source=\" \" ParamCount=\"0\" HRESULT=\"0\"/></Method></Message>",
       "not a 64-bit number"},
      {"<Message><Method><Method_Exit MethodName=\"VISA\" Timestamp=\"1\" ElapsedNS=\"1e+030\" ThreadID=\"1\" "
       "ProcessID=\"2\" Address=\"\" Source=\" \" ParamCount=\"0\" HRESULT=\"0\"/></Method></Message>",
       "not a 64-bit number"},
      {"<Message><Method><Method_Exit MethodName=\"VISA\" Timestamp=\"1\" ThreadID=\"1\"", "expected"},
  };
  for (const auto& c : cases) {
    TraceMessage m;
    std::string error;
    EXPECT_FALSE(ParseTraceMessage(c.line, m, error)) << c.line;
    EXPECT_NE(error.find(c.reason), std::string::npos) << c.line << " -> " << error;
  }
}

struct ReadResult {
  std::string error, warning;
  uint64_t messages = 0, skipped = 0;
};

// A reader over the given file contents, to its end.
ReadResult ReadAll(const std::string& contents, bool skipBad) {
  std::FILE* f = std::tmpfile();
  if (f == nullptr) return {"no temporary file", "", 0, 0};
  std::fwrite(contents.data(), 1, contents.size(), f);
  std::rewind(f);
  TraceReader reader(f, "cap", skipBad);
  TraceMessage m;
  while (reader.Next(m)) {
  }
  ReadResult result{reader.Error(), reader.Warning(), reader.Messages(), reader.Skipped()};
  IgnoreResult(std::fclose(f));
  return result;
}

// A damaged line stops the reading with its number, unless damaged lines are skipped; a
// cut last line is left out with a warning and what came before it stands.
TEST(TraceReader, DamagedLinesStopOrAreSkippedAndACutLastLineIsLeftOut) {
  const std::vector<std::string> lines = SmallCaptureLines();
  ASSERT_EQ(lines.size(), 14u);
  const std::string two = lines[0] + "\n" + lines[1] + "\n";
  const std::string whole = two + lines[2] + "\n";
  const struct {
    std::string contents;
    bool skipBad;
    std::string error, warning;
    uint64_t messages, skipped;
  } cases[] = {
      {two, false, "", "", 2, 0},
      {two + "\n" + lines[2] + "\r\n", false, "", "", 3, 0},  // empty texts skipped, CR LF allowed
      {two + lines[2].substr(0, 100), false, "", "cap:3: the last line is cut short", 2, 0},
      {two + lines[2], false, "", "", 3, 0},  // a whole last line without its line end
      {two + "not a message\n" + lines[3] + "\n", false, "cap:3: not a trace message", "", 2, 0},
      {two + "not a message\n" + lines[3] + "\nbad\n" + lines[4].substr(0, 9), true, "",
       "cap:6: the last line is cut short", 3, 2},
      {std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false, "cap:1: not a trace message", "", 0, 0},
      {"", false, "", "", 0, 0},
      {std::string(kMaxLineBytes + 10, 'x'), false, "cap:1: line longer than", "", 0, 0},
      {whole, true, "", "", 3, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.contents.substr(0, 60));
    const ReadResult r = ReadAll(c.contents, c.skipBad);
    EXPECT_EQ(r.error.substr(0, c.error.size()), c.error) << r.error;
    EXPECT_EQ(r.error.empty(), c.error.empty()) << r.error;
    EXPECT_EQ(r.warning.substr(0, c.warning.size()), c.warning) << r.warning;
    EXPECT_EQ(r.warning.empty(), c.warning.empty()) << r.warning;
    EXPECT_EQ(r.messages, c.messages);
    EXPECT_EQ(r.skipped, c.skipped);
  }
}

}  // namespace
}  // namespace qtrace
