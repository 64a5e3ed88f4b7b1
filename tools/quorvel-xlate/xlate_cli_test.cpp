// The command in-process: output bytes in both forms, files in order, messages without
// text, unreadable files and the command line.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/quorvel-xlate/xlate_cli.h"
#include "trace/xlate/trace_record_builder.h"

namespace quorvel::xlate {
namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out, err;
};

std::string Contents(std::FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  char chunk[4096];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
  std::fclose(f);
  return text;
}

Outcome Xlate(std::vector<std::string> args) {
  args.insert(args.begin(), "quorvel-xlate");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  const int status = RunXlate(static_cast<int>(argv.size()), argv.data(), out, err, Windows1252CodePage());
  return {status, Contents(out), Contents(err)};
}

class XlateCli : public ::testing::Test {
 protected:
  void SetUp() override {
    m_dir = fs::temp_directory_path() / ("quorvel-xlate-test-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::create_directories(m_dir);
    const MethodEnterFields enter{.processId = 7, .threadId = 8, .appName = "caf\xE9", .methodName = "viOpen",
                                  .address = "ASRL1", .timestamp = 9};
    m_enter = Save("enter.bin", TraceMessageBuilder("VISA").Enter(enter).Take());
    m_short = Save("short.bin", TraceMessageBuilder("VISA").Take());
    m_exit = Save("exit.bin", TraceMessageBuilder("TRIL").Exit({.elapsedNs = 1000000, .status = -1, .address = ""}).Take());
  }
  void TearDown() override { fs::remove_all(m_dir); }

  std::string Save(const char* name, const std::vector<std::uint8_t>& bytes) {
    const fs::path path = m_dir / name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path.string();
  }

  fs::path m_dir;
  std::string m_enter, m_short, m_exit;
};

constexpr char kEnterText[] =
    "<Message><Method><Method_Enter MethodName=\"VISA::viOpen\" Timestamp=\"9\" AppName=\"caf\xC3\xA9\" "
    "ThreadID=\"8\" ProcessID=\"7\" Address=\"ASRL1\" Source=\"Korvane VISA\" ParamCount=\"0\"/></Method></Message>";
constexpr char kExitText[] =
    "<Message><Method><Method_Error MethodName=\"TRIL\" Timestamp=\"0\" ElapsedNS=\"1e+006\" ThreadID=\"0\" "
    "ProcessID=\"0\" Address=\"\" Source=\"Korvane TRIL top\" ParamCount=\"0\" HRESULT=\"-1\"/></Method></Message>";

TEST_F(XlateCli, Utf8WritesOneLinePerMessageWithText) {
  const Outcome run = Xlate({"--utf8", m_enter, m_short, m_exit});
  EXPECT_EQ(run.status, kExitOk);
  EXPECT_EQ(run.out, std::string(kEnterText) + "\n" + kExitText + "\n");
  EXPECT_EQ(run.err, "");
}

TEST_F(XlateCli, DefaultIsUtf16LeWithNulPerMessage) {
  const Outcome run = Xlate({m_exit, m_short, m_enter});
  EXPECT_EQ(run.status, kExitOk);
  std::string expected;
  auto append = [&](std::u16string_view text) {
    for (char16_t c : text) expected += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    expected.append(2, '\0');
  };
  const std::string exitText = kExitText;
  append(std::u16string(exitText.begin(), exitText.end()));
  std::u16string enterText;
  for (const char* p = kEnterText; *p; ++p) {
    if (*p == '\xC3') {
      enterText += u'\u00E9';
      ++p;
    } else {
      enterText += static_cast<char16_t>(*p);
    }
  }
  append(enterText);
  EXPECT_EQ(run.out, expected);
}

TEST_F(XlateCli, UnreadableFileIsNamedAndTheOthersStillTranslated) {
  const std::string missing = (m_dir / "missing.bin").string();
  const Outcome run = Xlate({"--utf8", missing, m_enter});
  EXPECT_EQ(run.status, kExitUnreadableOrUsage);
  EXPECT_EQ(run.out, std::string(kEnterText) + "\n");
  EXPECT_EQ(run.err.rfind("quorvel-xlate: cannot read " + missing + ": ", 0), 0u) << run.err;
  EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1);
}

TEST_F(XlateCli, CommandLine) {
  const Outcome help = Xlate({"--help"});
  EXPECT_EQ(help.status, kExitOk);
  EXPECT_EQ(help.out.rfind("Usage: quorvel-xlate [--utf8] FILE...\n", 0), 0u);

  EXPECT_EQ(Xlate({}).status, kExitUnreadableOrUsage);
  const Outcome unknown = Xlate({"--utf16", m_enter});
  EXPECT_EQ(unknown.status, kExitUnreadableOrUsage);
  EXPECT_EQ(unknown.out, "");
  EXPECT_NE(unknown.err.find("--utf16"), std::string::npos);

  // After "--" a name that looks like an option is a file.
  const Outcome dashed = Xlate({"--utf8", "--", "--help"});
  EXPECT_EQ(dashed.status, kExitUnreadableOrUsage);
  EXPECT_NE(dashed.err.find("cannot read --help"), std::string::npos);
}

}  // namespace
}  // namespace quorvel::xlate
