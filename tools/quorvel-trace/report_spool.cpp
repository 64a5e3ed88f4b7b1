#include "tools/quorvel-trace/report_spool.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "base/results.h"

namespace qtrace {

SpoolFile::~SpoolFile() {
  // Scratch calls: once the page is written nothing is lost if the close or removal fails.
  m_file.Reset();
  if (!m_path.empty()) IgnoreResult(std::remove(m_path.c_str()));
}

bool SpoolFile::Open(std::string& error) {
  static std::atomic<unsigned> counter{0};
  std::error_code code;
  const std::filesystem::path folder = std::filesystem::temp_directory_path(code);
  if (code) {
    error = "no temporary folder: " + code.message();
    return false;
  }
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::string name = "quorvel-trace-" + std::to_string(stamp) + "-" + std::to_string(counter++) + ".rows";
  const std::string path = (folder / name).string();
  // "x": never take over a file that is already there.
#ifdef _WIN32
  m_file.Reset(std::fopen(path.c_str(), "w+b"));
#else
  m_file.Reset(std::fopen(path.c_str(), "w+xb"));
#endif
  if (!m_file) {
    error = "cannot create " + path + ": " + std::strerror(errno);
    return false;
  }
#ifdef _WIN32
  m_path = path;  // an open file cannot be removed here; the destructor does it
#else
  IgnoreResult(std::remove(path.c_str()));  // the open file stays readable and vanishes with it
#endif
  return true;
}

}  // namespace qtrace
