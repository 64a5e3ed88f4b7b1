// The summary's figures on the hand-made capture (testdata/small.qtrace: seven calls in
// two processes, one nested, one error, one exit without its enter, one enter without its
// exit), whose numbers are worked out in the comments, and the quantiles of the histogram.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "tools/quorvel-trace/duration_histogram.h"
#include "tools/quorvel-trace/trace_commands.h"

namespace qtrace {
namespace {

struct CsvRow {
  std::string table, key;
  double calls, errors, total, mean, p50, p99, max;
};

std::vector<CsvRow> SummaryCsv(std::string& errors) {
  std::ostringstream out, err;
  ReadOptions options;
  const int code = RunSummary(QTRACE_TESTDATA "/small.qtrace", options, true, out, err);
  // The closing line goes to the error stream, so that the CSV stays a table.
  errors = code == kExitOk ? "" : err.str() + " (exit code " + std::to_string(code) + ")";
  std::vector<CsvRow> rows;
  std::istringstream in(out.str());
  std::string line;
  std::getline(in, line);  // header
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::vector<std::string> v;
    for (std::string f; std::getline(fields, f, ',');) v.push_back(f);
    if (v.size() != 9) continue;
    rows.push_back({v[0], v[1], std::stod(v[2]), std::stod(v[3]), std::stod(v[4]), std::stod(v[5]), std::stod(v[6]),
                    std::stod(v[7]), std::stod(v[8])});
  }
  return rows;
}

TEST(TraceSummary, FiguresOfTheHandMadeCapture) {
  std::string errors;
  const std::vector<CsvRow> rows = SummaryCsv(errors);
  ASSERT_EQ(errors, "");
  // table, key, calls, errors, total, mean, p50, p99, max; sorted by total within a table.
  const CsvRow expected[] = {
      // viWrite: 1000 and 3000 (the error); the p50 is the first, the p99 the second.
      {"method", "VISA::viWrite", 2, 1, 4000, 2000, 1000, 3000, 3000},
      {"method", "VISA::viOpen", 1, 0, 500, 500, 500, 500, 500},
      {"method", "TRIL::trilSend", 1, 0, 400, 400, 400, 400, 400},
      {"method", "VISA::viRead", 1, 0, 200, 200, 200, 200, 200},
      // The lower layer's call inside trilSend, matched by its own key.
      {"method", "TRIL_B::trilbSend", 1, 0, 100, 100, 100, 100, 100},
      // An exit whose enter is not in the capture.
      {"method", "VISA::?", 1, 0, 50, 50, 50, 50, 50},
      // 500 + 1000 + 3000 + 200; p50 is the 2nd of 200, 500, 1000, 3000.
      {"address", "GPIB0::7::INSTR", 4, 1, 4700, 1175, 500, 3000, 3000},
      {"address", "TCPIP0::h::INSTR", 2, 0, 500, 250, 100, 400, 400},
      {"address", "ASRL1::INSTR", 1, 0, 50, 50, 50, 50, 50},
      {"process", "100 app.exe", 4, 1, 4700, 1175, 500, 3000, 3000},
      {"process", "200 b&c.exe", 3, 0, 550, 550.0 / 3, 100, 400, 400},
      {"thread", "100/1 app.exe", 4, 1, 4700, 1175, 500, 3000, 3000},
      {"thread", "200/7 b&c.exe", 2, 0, 500, 250, 100, 400, 400},
      {"thread", "200/8 b&c.exe", 1, 0, 50, 50, 50, 50, 50},
  };
  ASSERT_EQ(rows.size(), std::size(expected));
  for (size_t i = 0; i < rows.size(); ++i) {
    const CsvRow& r = rows[i];
    const CsvRow& e = expected[i];
    SCOPED_TRACE(e.table + " " + e.key);
    EXPECT_EQ(std::tie(r.table, r.key, r.calls, r.errors, r.total, r.max),
              std::tie(e.table, e.key, e.calls, e.errors, e.total, e.max));
    EXPECT_NEAR(r.mean, e.mean, 0.5);  // written rounded to whole nanoseconds
    // Quantiles come from the histogram: within 1/256 of the value, plus the rounding.
    EXPECT_NEAR(r.p50, e.p50, e.p50 / 256 + 0.5);
    EXPECT_NEAR(r.p99, e.p99, e.p99 / 256 + 0.5);
  }
}

TEST(TraceSummary, TableNamesTheUnpairedCalls) {
  std::ostringstream out, err;
  ReadOptions options;
  ASSERT_EQ(RunSummary(QTRACE_TESTDATA "/small.qtrace", options, false, out, err), kExitOk) << err.str();
  EXPECT_NE(out.str().find("14 messages, 8 calls, 1 with an error; 1 calls without an exit, 1 exits without an enter."),
            std::string::npos)
      << out.str();
  EXPECT_NE(out.str().find("VISA::viWrite             2       1    4.000 us    2.000 us"), std::string::npos) << out.str();
}

TEST(TraceSummary, BadFilesEndWithTheirLineNumberAndNoTable) {
  std::ostringstream out, err;
  ReadOptions options;
  EXPECT_EQ(RunSummary(QTRACE_TESTDATA "/no-such-file", options, false, out, err), kExitFailed);
  EXPECT_NE(err.str().find("cannot open"), std::string::npos) << err.str();
  EXPECT_EQ(out.str(), "");
}

TEST(DurationHistogram, QuantilesByNearestRank) {
  const auto fill = [](std::vector<double> values) {
    DurationHistogram h;
    for (const double v : values) h.Add(v);
    return h;
  };
  std::vector<double> oneToHundred;
  for (int i = 1; i <= 100; ++i) oneToHundred.push_back(i);
  std::vector<double> skewed(99, 10.0);
  skewed.push_back(1e9);
  std::vector<double> wide;
  for (int i = 0; i < 1000; ++i) wide.push_back(1000.0 + i);
  const struct {
    const char* name;
    DurationHistogram h;
    double p50, p99, max, tolerance;
  } cases[] = {
      {"1..100, exact below 128 ns", fill(oneToHundred), 50, 99, 100, 0},
      {"one outlier does not move the p99 of 100", fill(skewed), 10, 10, 1e9, 0},
      {"1000..1999", fill(wide), 1499, 1989, 1999, 1999.0 / 256},
      {"one value", fill({123456789}), 123456789, 123456789, 123456789, 123456789.0 / 256},
      {"negative counts as zero", fill({-5, -1}), 0, 0, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(c.h.Quantile(0.5), c.p50, c.tolerance);
    EXPECT_NEAR(c.h.Quantile(0.99), c.p99, c.tolerance);
    EXPECT_EQ(c.h.Max(), c.max);
  }
  EXPECT_EQ(DurationHistogram().Quantile(0.5), 0);
}

}  // namespace
}  // namespace qtrace
