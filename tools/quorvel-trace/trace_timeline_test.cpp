// The timeline of the hand-made capture: its lanes, its one error mark, and the families
// that colour the bars.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "tools/quorvel-trace/trace_commands.h"
#include "tools/quorvel-trace/trace_timeline.h"

namespace qtrace {
namespace {

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

TEST(TraceTimeline, DrawsALanePerThreadAndMarksTheError) {
  const std::string svg = testing::TempDir() + "qtrace_small.svg";
  std::ostringstream out, err;
  ReadOptions options;
  ASSERT_EQ(RunTimeline(QTRACE_TESTDATA "/small.qtrace", options, svg, out, err), kExitOk) << err.str();
  std::ifstream in(svg, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  const std::string picture = text.str();
  for (const char* lane : {">app.exe 100/1<", ">b&amp;c.exe 200/7<", ">b&amp;c.exe 200/8<"}) {
    EXPECT_EQ(Count(picture, lane), 1u) << lane;
  }
  // One mark on the failed viWrite, one in the legend.
  EXPECT_EQ(Count(picture, "fill=\"#d62728\""), 2u);
  EXPECT_NE(picture.find("8 calls, 1 with an error"), std::string::npos);
  EXPECT_EQ(picture.rfind("</svg>\n"), picture.size() - 7);
  std::remove(svg.c_str());
}

TEST(TraceTimeline, FamilyIsTheFirstCapitalisedWordOfTheName) {
  const struct {
    const char* method;
    const char* family;
  } cases[] = {{"VISA::viWrite", "Write"}, {"VISA::viOpenDefaultRM", "Open"}, {"TRIL::trilSend", "Send"},
               {"TRIL_B::lower", "lower"}, {"VISA::", "?"},                 {"Plain", "Plain"}};
  for (const auto& c : cases) EXPECT_EQ(MethodFamily(c.method), c.family) << c.method;
}

}  // namespace
}  // namespace qtrace
