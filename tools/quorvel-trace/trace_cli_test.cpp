// quorvel-trace run as a program (native build): standard input and output in place of
// files, and outputs that would overwrite their input or be left half written.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

#include "tools/quorvel-trace/testing/capture_builder.h"

namespace {

namespace fs = std::filesystem;
using namespace qtrace::testing_capture;

struct Result {
  int code;
  std::string out;
};

// Runs the program through the shell with |arguments| (shell syntax), its standard output
// captured.
Result RunProgram(const std::string& arguments) {
  const std::string command = std::string(QTRACE_PROGRAM) + " " + arguments;
  std::FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return {-1, ""};
  std::string out;
  char chunk[4096];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0;) out.append(chunk, n);
  const int status = pclose(pipe);
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

class TraceCli : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::path(::testing::TempDir()) / ("qtrace_cli_" + std::to_string(::getpid()));
    fs::create_directories(m_dir);
    m_capture = m_dir / "c.qtrace";
    std::ofstream(m_capture, std::ios::binary)
        << Enter("VISA::viWrite", 1000, "a.exe", 1, 1, "GPIB0::7::INSTR", Bytes("buf", true, "*IDN?\n"))
        << Exit("VISA", 3000, "2000", 1, 1, "GPIB0::7::INSTR", 0)
        << Enter("VISA::viRead", 4000, "a.exe", 1, 1, "GPIB0::7::INSTR")
        << Exit("VISA", 9000, "5000", 1, 1, "GPIB0::7::INSTR", static_cast<int32_t>(0xBFFF0015u));
    m_original = ReadFile(m_capture);
  }
  void TearDown() override { fs::remove_all(m_dir); }

  // Nothing but the capture (and |also|) is left in the folder, and the capture is whole.
  void ExpectCaptureUntouched(const std::string& also = "") {
    EXPECT_EQ(ReadFile(m_capture), m_original);
    for (const auto& entry : fs::directory_iterator(m_dir)) {
      const std::string name = entry.path().filename().string();
      EXPECT_TRUE(name == "c.qtrace" || name == also) << "left behind: " << name;
    }
  }

  fs::path m_dir, m_capture;
  std::string m_original;
};

TEST_F(TraceCli, StandardInputAndOutputStandInForFiles) {
  const Result fromFile = RunProgram("list " + m_capture.string());
  const Result fromStdin = RunProgram("list - < " + m_capture.string());
  ASSERT_EQ(fromFile.code, 0);
  EXPECT_EQ(fromStdin.code, 0);
  EXPECT_EQ(fromStdin.out, fromFile.out);
  EXPECT_NE(fromFile.out.find("viRead() = VI_ERROR_TMO (0xBFFF0015)"), std::string::npos) << fromFile.out;

  // The document on standard output, the closing line apart from it.
  const Result json = RunProgram("export - -o - --errors 2>/dev/null < " + m_capture.string());
  EXPECT_EQ(json.code, 0);
  EXPECT_EQ(json.out.rfind("{\"displayTimeUnit\":\"ns\",\"traceEvents\":[", 0), 0u) << json.out;
  EXPECT_EQ(json.out.substr(json.out.size() - 4), "\n]}\n");
  EXPECT_EQ(json.out.find("viWrite"), std::string::npos) << "the filter was not applied";
  // The timeline reads its input twice, standard input too: the same picture but its title.
  const auto withoutTitle = [](std::string svg) {
    const size_t title = svg.find("quorvel-trace timeline of ");
    return title == std::string::npos ? svg : svg.erase(title, svg.find('<', title) - title);
  };
  const Result svg = RunProgram("timeline - -o - 2>/dev/null < " + m_capture.string());
  const Result svgFromFile = RunProgram("timeline " + m_capture.string() + " -o - 2>/dev/null");
  EXPECT_EQ(svg.code, 0);
  EXPECT_NE(svg.out.find("2 calls, 1 with an error"), std::string::npos);
  EXPECT_EQ(withoutTitle(svg.out), withoutTitle(svgFromFile.out));
  ExpectCaptureUntouched();
}

TEST_F(TraceCli, AnOutputThatIsTheInputIsRefused) {
  fs::create_hard_link(m_capture, m_dir / "link.qtrace");
  const std::string spellings[] = {m_capture.string(), (m_dir / "." / "c.qtrace").string(),
                                   (m_dir / ".." / m_dir.filename() / "c.qtrace").string(),
                                   (m_dir / "link.qtrace").string()};
  for (const std::string& output : spellings) {
    for (const char* command : {"export", "timeline"}) {
      SCOPED_TRACE(std::string(command) + " -o " + output);
      EXPECT_EQ(RunProgram(std::string(command) + " " + m_capture.string() + " -o " + output + " 2>&1").code, 1);
      ExpectCaptureUntouched("link.qtrace");
    }
  }
}

TEST_F(TraceCli, AFailedExportLeavesTheOldOutputAndNoPartOfTheNewOne) {
  const fs::path output = m_dir / "out.json", damaged = m_dir / "d.qtrace";
  std::ofstream(output, std::ios::binary) << "old";
  std::ofstream(damaged, std::ios::binary) << m_original << "damaged\n" << m_original;
  const Result run = RunProgram("export " + damaged.string() + " -o " + output.string() + " 2>&1");
  EXPECT_EQ(run.code, 1);
  EXPECT_NE(run.out.find("d.qtrace:5: not a trace message"), std::string::npos) << run.out;
  EXPECT_EQ(ReadFile(output), "old");
  fs::remove(damaged);
  ExpectCaptureUntouched("out.json");
  // The same file read with --skip-bad is exported whole.
  EXPECT_EQ(RunProgram("export " + m_capture.string() + " -o " + output.string()).code, 0);
  EXPECT_EQ(ReadFile(output).rfind("{\"displayTimeUnit\"", 0), 0u);
}

TEST_F(TraceCli, EveryCommandHasHelpWithTheSharedFilters) {
  for (const char* command : {"list", "summary", "export", "timeline"}) {
    const Result help = RunProgram(std::string(command) + " --help");
    EXPECT_EQ(help.code, 0) << command;
    for (const char* option : {"--address", "--method", "--process", "--thread", "--errors", "--slower-than",
                               "--from", "--to", "--skip-bad"}) {
      EXPECT_NE(help.out.find(option), std::string::npos) << command << " " << option;
    }
  }
}

}  // namespace
