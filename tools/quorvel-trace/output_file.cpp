#include "tools/quorvel-trace/output_file.h"

#include <cerrno>
#include <cstring>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "base/results.h"
#include "base/unique.h"

namespace qtrace {
namespace {

#ifdef _WIN32
struct FileIdentity {
  DWORD volume = 0, high = 0, low = 0;
  bool operator==(const FileIdentity&) const = default;
};

bool Identify(const std::string& path, FileIdentity& id) {
  const UniqueFile file(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!file) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const BOOL ok = GetFileInformationByHandle(file.Get(), &info);
  id = {info.dwVolumeSerialNumber, info.nFileIndexHigh, info.nFileIndexLow};
  return ok != FALSE;
}

unsigned long ProcessId() { return GetCurrentProcessId(); }

bool Replace(const std::string& from, const std::string& to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
}
#else
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

bool Identify(const std::string& path, FileIdentity& id) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

unsigned long ProcessId() { return static_cast<unsigned long>(getpid()); }

bool Replace(const std::string& from, const std::string& to) { return std::rename(from.c_str(), to.c_str()) == 0; }
#endif

}  // namespace

bool SameFile(const std::string& a, const std::string& b) {
  FileIdentity x, y;
  return Identify(a, x) && Identify(b, y) && x == y;
}

OutputFile::~OutputFile() { Discard(); }

void OutputFile::Discard() {
  if (m_file != nullptr && m_file != stdout) {
    // Giving up: the temporary file is not wanted, whatever its close says.
    IgnoreResult(std::fclose(m_file));
    IgnoreResult(std::remove(m_temporary.c_str()));
  }
  m_file = nullptr;
}

bool OutputFile::Open(const std::string& path, const std::vector<std::string>& inputs, std::string& error) {
  m_path = path;
  if (path == "-") {
    m_file = stdout;
    return true;
  }
  for (const std::string& input : inputs) {
    if (input != "-" && SameFile(input, path)) {
      error = "the output " + path + " is the input " + input + "; choose another output";
      return false;
    }
  }
  m_temporary = path + ".part-" + std::to_string(ProcessId());
  m_file = std::fopen(m_temporary.c_str(), "wb");
  if (m_file == nullptr) {
    error = "cannot write " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

bool OutputFile::Commit(std::string& error) {
  if (m_file == stdout) {
    m_file = nullptr;
    if (std::fflush(stdout) == 0) return true;
    error = "cannot write to standard output";
    return false;
  }
  const bool written = std::fflush(m_file) == 0 && !std::ferror(m_file);
  const bool closed = std::fclose(m_file) == 0;
  m_file = nullptr;
  if (!written || !closed || !Replace(m_temporary, m_path)) {
    error = "cannot write " + m_path + ": " + std::strerror(errno);
    IgnoreResult(std::remove(m_temporary.c_str()));  // the error above is what the user needs
    return false;
  }
  return true;
}

}  // namespace qtrace
