#include "bench/soak/trace_check.h"

#include <windows.h>

#include <fstream>

#include "trace/xlate/event_translator_win32.h"
#include "trace/xlate/reference/reference_translator.h"
#include "trace/xlate/testing/xlate_test_support.h"

namespace soak {
namespace {

std::string Attribute(const std::string& text, const char* name) {
  const size_t at = text.find(name);
  if (at == std::string::npos) return "?";
  const size_t start = at + std::char_traits<char>::length(name);
  return text.substr(start, text.find('"', start) - start);
}

}  // namespace

void AddText(const std::string& text, TextsByThread& groups) {
  groups[Attribute(text, " ProcessID=\"") + "/" + Attribute(text, " ThreadID=\"")].push_back(text);
}

int64_t AddExpectedFromDump(const std::string& dumpPath, TextsByThread& expected) {
  std::ifstream in(dumpPath, std::ios::binary);
  if (!in) return -1;
  int64_t count = 0;
  std::vector<uint8_t> message;
  for (uint32_t n = 0; in.read(reinterpret_cast<char*>(&n), sizeof n); ++count) {
    message.resize(n);
    in.read(reinterpret_cast<char*>(message.data()), n);
    // The relay translates with the ANSI code page; so does the expectation.
    if (const auto text = quorvel::xlate::reference::TranslateEvent(message.data(), message.data() + n,
                                                                    quorvel::xlate::AnsiCodePage())) {
      AddText(quorvel::xlate::testing::ToUtf8(*text), expected);
    }
  }
  return count;
}

std::vector<std::string> CaptureReader::ReadNew() {
  std::ifstream in(m_path, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(m_offset));
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (in.eof()) break;  // a line still being written
    m_offset += line.size() + 1;
    lines.push_back(std::move(line));
  }
  return lines;
}

TraceVerdict Compare(const TextsByThread& expected, const TextsByThread& captured) {
  TraceVerdict v;
  for (const auto& [thread, texts] : expected) v.expected += texts.size();
  for (const auto& [thread, texts] : captured) v.captured += texts.size();
  auto problem = [&v](const std::string& text) {
    ++v.mismatchedThreads;
    if (v.firstProblem.empty()) v.firstProblem = text;
  };
  for (const auto& [thread, texts] : expected) {
    const auto found = captured.find(thread);
    if (found == captured.end()) {
      problem("thread " + thread + ": nothing captured of " + std::to_string(texts.size()) + " messages");
      continue;
    }
    const std::vector<std::string>& got = found->second;
    for (size_t i = 0; i < std::max(texts.size(), got.size()); ++i) {
      if (i >= texts.size() || i >= got.size() || texts[i] != got[i]) {
        problem("thread " + thread + ": message " + std::to_string(i) + " differs (" + std::to_string(got.size()) +
                " captured, " + std::to_string(texts.size()) + " sent)");
        break;
      }
    }
  }
  for (const auto& [thread, texts] : captured) {
    if (expected.find(thread) == expected.end()) problem("thread " + thread + ": captured but never sent");
  }
  return v;
}

}  // namespace soak
