#include "tests/bed/viewer_standin.h"

#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "support/wait_until.h"

namespace bed {
namespace {

constexpr DWORD kReadyMs = 20000;
constexpr DWORD kCommandMs = 10000;
constexpr char kMessagesTag[] = "sightline: messages ";

}  // namespace

ViewerStandIn::ViewerStandIn(const ViewerOptions& options) {
  std::vector<std::string> args{"--status", std::to_string(options.status), "--array-limit",
                                std::to_string(options.arrayLimit)};
  if (options.capture) {
    m_capturePath = TempPath("sightline_capture", ".txt");
    args.insert(args.end(), {"--capture", m_capturePath});
  }
  if (options.stallReady) args.push_back("--stall-ready");
  ChildOptions child;
  child.captureOutput = true;
  child.pipeInput = true;
  m_process = std::make_unique<ChildProcess>("sightline.exe", args, child);
  if (!m_process->WaitForOutput("sightline: ready", kReadyMs)) {
    throw std::runtime_error("the viewer did not get ready: " + m_process->Output());
  }
}

ViewerStandIn::~ViewerStandIn() {
  m_process.reset();
  if (!m_capturePath.empty()) DeleteFileA(m_capturePath.c_str());
}

bool ViewerStandIn::Command(const std::string& command) {
  const std::string ok = "sightline: ok " + command;
  const size_t before = m_process->OutputCount(ok);
  return m_process->WriteInput(command + "\n") && m_process->WaitForOutput(ok, kCommandMs, before + 1);
}

int64_t ViewerStandIn::Messages() {
  const size_t before = m_process->OutputCount(kMessagesTag);
  if (!m_process->WriteInput("count\n") || !m_process->WaitForOutput(kMessagesTag, kCommandMs, before + 1)) return -1;
  const std::string output = m_process->Output();
  return std::strtoll(output.c_str() + output.rfind(kMessagesTag) + sizeof kMessagesTag - 1, nullptr, 10);
}

bool ViewerStandIn::WaitForOutput(const std::string& text, DWORD timeoutMs, size_t occurrences) const {
  return m_process->WaitForOutput(text, timeoutMs, occurrences);
}

std::string ViewerStandIn::Output() const { return m_process->Output(); }

size_t ViewerStandIn::OutputCount(const std::string& text) const { return m_process->OutputCount(text); }

std::vector<std::string> ViewerStandIn::Capture() const {
  if (m_capturePath.empty()) throw std::logic_error("the viewer was started without a capture file");
  std::ifstream in(m_capturePath, std::ios::binary);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::vector<std::string> ViewerStandIn::WaitForCapture(size_t count, DWORD timeoutMs) const {
  std::vector<std::string> lines;
  support::WaitUntil([&] { return (lines = Capture()).size() >= count; }, timeoutMs, 100);
  return lines;
}

DWORD ViewerStandIn::Quit() {
  m_process->WriteInput("quit\n");
  return m_process->Wait(kCommandMs) ? m_process->ExitCode() : 999;
}

}  // namespace bed
