// The timeline: lanes, error marks and tooltips of the hand-made capture; colours that do
// not depend on the capture; calls arriving in any time order; a fixed window.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>
#include <string>

#include "base/results.h"
#include "tools/quorvel-trace/trace_commands.h"
#include "tools/quorvel-trace/trace_timeline.h"

namespace qtrace {
namespace {

size_t Count(const std::string& text, const std::string& piece) {
  size_t n = 0;
  for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++n;
  return n;
}

// Calls built by hand, each an enter with its exit on one thread.
class Calls {
 public:
  void Add(TraceTimeline& timeline, const std::string& method, int64_t start, int64_t end, bool error = false,
           uint32_t thread = 1) {
    OpenCall enter;
    enter.method = method;
    enter.timestamp = start;
    TraceMessage exit;
    exit.kind = error ? MessageKind::Error : MessageKind::Exit;
    exit.timestamp = end;
    exit.elapsedNs = static_cast<double>(end - start);
    exit.hresult = error ? -1073807339 : 0;
    const MatchedCall call{100, thread, 0, m_number, &enter, &exit};
    timeline.Add(call, m_matcher, ++m_number);
  }

 private:
  CallMatcher m_matcher{[](const MatchedCall&) {}, false};
  uint64_t m_number = 0;
};

// The bars' x positions in the order of their tooltips' method names.
std::map<std::string, double> BarsByMethod(const std::string& svg) {
  std::map<std::string, double> bars;
  const std::regex bar("<rect x=\"([0-9.]+)\"[^>]*><title>[^<]*\u00b7 (VISA::\\w+) \u00b7");
  for (std::sregex_iterator it(svg.begin(), svg.end(), bar), end; it != end; ++it) {
    bars[(*it)[2]] = std::stod((*it)[1]);
  }
  return bars;
}

std::string Picture(const TraceTimeline& timeline) {
  std::ostringstream svg;
  timeline.Write(svg, "test");
  return svg.str();
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
  // One mark on the failed viWrite, one in the legend; the failed bar is outlined.
  EXPECT_EQ(Count(picture, "fill=\"#d62728\""), 2u);
  EXPECT_EQ(Count(picture, "stroke=\"#d62728\""), 1u);
  EXPECT_NE(picture.find("8 calls, 1 with an error"), std::string::npos);
  // Every bar is one call with its tooltip.
  EXPECT_EQ(Count(picture, "<title>"), Count(picture, "height=\"8\""));
  EXPECT_TRUE(std::regex_search(picture, std::regex("<title>[^<]*VISA::viWrite \u00b7 [^<]*0xBFFF0011")));
  EXPECT_EQ(picture.rfind("</svg>\n"), picture.size() - 7);
  IgnoreResult(std::remove(svg.c_str()));
}

TEST(TraceTimeline, FamilyIsTheFirstCapitalisedWordOfTheName) {
  const struct {
    const char* method;
    const char* family;
  } cases[] = {{"VISA::viWrite", "Write"}, {"VISA::viOpenDefaultRM", "Open"}, {"TRIL::trilSend", "Send"},
               {"TRIL_B::lower", "lower"}, {"VISA::", "?"},                 {"Plain", "Plain"}};
  for (const auto& c : cases) EXPECT_EQ(MethodFamily(c.method), c.family) << c.method;
}

// A family keeps its colour whatever else the capture holds and however often it occurs.
TEST(TraceTimeline, ColoursDependOnTheFamilyAlone) {
  TraceTimeline fewWrites, manyWrites;
  Calls a, b;
  a.Add(fewWrites, "VISA::viWrite", 0, 10);
  for (int i = 1; i < 5; ++i) a.Add(fewWrites, "VISA::viRead", i * 100, i * 100 + 10);
  for (int i = 0; i < 5; ++i) b.Add(manyWrites, "VISA::viWrite", i * 100, i * 100 + 10);
  b.Add(manyWrites, "VISA::viFrobnicate", 1000, 1010);
  const std::regex writeBar("fill=\"(#[0-9a-f]{6})\"><title>[^<]*VISA::viWrite");
  std::smatch few, many;
  const std::string one = Picture(fewWrites), other = Picture(manyWrites);
  ASSERT_TRUE(std::regex_search(one, few, writeBar));
  ASSERT_TRUE(std::regex_search(other, many, writeBar));
  EXPECT_EQ(few[1], many[1]);
  EXPECT_NE(FamilyColour("Write"), FamilyColour("Read"));
  EXPECT_STREQ(FamilyColour("Frobnicate"), FamilyColour("Frobnicate"));
}

// The grid grows as calls arrive out of time order; every call still ends up where its
// time says, left of the later ones.
TEST(TraceTimeline, CallsInAnyOrderLandInTimeOrder) {
  TraceTimeline timeline;
  Calls calls;
  calls.Add(timeline, "VISA::viRead", 5'000'000, 5'000'100);
  calls.Add(timeline, "VISA::viOpen", 1'000, 2'000);
  calls.Add(timeline, "VISA::viClose", 9'000'000'000, 9'000'000'500);
  calls.Add(timeline, "VISA::viWrite", 3'000'000'000, 3'000'000'010, true);
  const std::map<std::string, double> x = BarsByMethod(Picture(timeline));
  ASSERT_EQ(x.size(), 4u) << Picture(timeline);
  EXPECT_DOUBLE_EQ(x.at("VISA::viOpen"), 230);  // the earliest call starts the drawing area
  EXPECT_LT(x.at("VISA::viOpen"), x.at("VISA::viRead"));
  EXPECT_NEAR(x.at("VISA::viWrite"), 230 + 1100 / 3.0, 2);
  EXPECT_GT(x.at("VISA::viClose"), 230 + 1095);
}

TEST(TraceTimeline, AWindowFixesTheAxis) {
  TraceTimeline timeline;
  timeline.SetWindow(1'000'000, 2'000'000);
  Calls calls;
  calls.Add(timeline, "VISA::viOpen", 1'500'000, 1'600'000);
  calls.Add(timeline, "VISA::viClose", 1'900'000, 9'000'000);  // ends past the window
  const std::string svg = Picture(timeline);
  const std::map<std::string, double> x = BarsByMethod(svg);
  ASSERT_EQ(x.size(), 2u);
  EXPECT_NEAR(x.at("VISA::viOpen"), 230 + 550, 1);
  EXPECT_NEAR(x.at("VISA::viClose"), 230 + 990, 1);
  EXPECT_NE(svg.find("1.000 ms in all"), std::string::npos) << svg;
}

// Widening merges neighbouring columns: a cell keeps the column its time maps to, and the
// cell that matters more (an error) wins over its neighbour.
TEST(TimelineGrid, CellsFollowTheirTimesAsTheGridWidens) {
  TimelineGrid grid;
  std::vector<TimelineCell> cells(TimelineGrid::kColumns);
  std::vector<std::vector<TimelineCell>*> lanes{&cells};
  grid.Cover(0, 1'099'999, lanes);
  const auto place = [&](uint64_t call, int64_t t, bool error) {
    cells[static_cast<size_t>(grid.Column(t))] = TimelineCell{call, t, 1, 0, 1, error};
  };
  place(1, 2048, false);
  place(2, 3072, true);
  place(3, 1'000'000, false);
  grid.Cover(-10'000'000, 1'099'999, lanes);  // grows leftwards, several times
  EXPECT_EQ(cells[static_cast<size_t>(grid.Column(3072))].call, 2u);
  EXPECT_EQ(cells[static_cast<size_t>(grid.Column(1'000'000))].call, 3u);
  EXPECT_EQ(std::count_if(cells.begin(), cells.end(), [](const TimelineCell& c) { return c.call != 0; }), 2);
  grid.Cover(0, 50'000'000'000, lanes);  // and rightwards, until all three share a column
  EXPECT_EQ(grid.Column(3072), grid.Column(1'000'000));
  EXPECT_EQ(cells[static_cast<size_t>(grid.Column(1'000'000))].call, 2u);
  EXPECT_EQ(grid.Column(INT64_MIN), 0);
  EXPECT_EQ(grid.Column(INT64_MAX), TimelineGrid::kColumns - 1);
}

}  // namespace
}  // namespace qtrace
