// The command in-process: unreadable files and the command line. The output bytes of
// both forms are checked against the files in testdata by the quorvel_xlate_tool tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "base/results.h"
#include "tools/quorvel-xlate/xlate_cli.h"
#include "trace/xlate/testing/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

struct Outcome { int status; std::string out, err; };

std::string Drain(std::FILE* f) {
  std::rewind(f);
  std::string text;
  for (int c; (c = std::fgetc(f)) != EOF;) text += static_cast<char>(c);
  IgnoreResult(std::fclose(f));
  return text;
}

Outcome Xlate(std::vector<std::string> args) {
  args.insert(args.begin(), "quorvel-xlate");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = RunXlate(static_cast<int>(argv.size()), argv.data(), out, err, Windows1252CodePage());
  return {status, Drain(out), Drain(err)};
}

TEST(XlateCli, UnreadableFilesAndCommandLine) {
  const auto dir = std::filesystem::temp_directory_path() / ("quorvel-xlate-" + std::to_string(std::random_device()()));
  std::filesystem::create_directories(dir);
  const std::string enter = (dir / "enter.bin").string(), missing = (dir / "missing.bin").string();
  const auto bytes = testing::Enter().Take();
  std::ofstream(enter, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::ssize(bytes));

  const Outcome run = Xlate({"--utf8", missing, enter});
  EXPECT_EQ(run.status, kExitUnreadableOrUsage);
  EXPECT_EQ(run.out, testing::Translate(bytes).value_or("<none>") + "\n");
  EXPECT_EQ(run.err.rfind("quorvel-xlate: cannot read " + missing + ": ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);

  const Outcome help = Xlate({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_EQ(help.out.rfind("Usage: quorvel-xlate [--utf8] FILE...\n", 0), 0u);
  EXPECT_EQ(Xlate({}).status, kExitUnreadableOrUsage);
  const Outcome unknown = Xlate({"--utf16", enter});
  EXPECT_EQ(unknown.status, kExitUnreadableOrUsage);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("--utf16"), std::string::npos);
  // After "--" a name that looks like an option is a file.
  const Outcome dashed = Xlate({"--utf8", "--", "--help"});
  EXPECT_EQ(dashed.status, kExitUnreadableOrUsage);
  EXPECT_NE(dashed.err.find("cannot read --help"), std::string::npos);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace quorvel::xlate
