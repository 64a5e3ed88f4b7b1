// A scratch file for the rows of a report while the capture streams by: rows go to disk,
// not to memory, and come back once the page's head is written. The file lives in the
// system's temporary folder and is gone when its owner is.
#pragma once

#include <cstdio>
#include <string>

namespace qtrace {

class SpoolFile {
 public:
  SpoolFile() = default;
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;
  ~SpoolFile();

  // False with the reason in |error|.
  bool Open(std::string& error);
  std::FILE* Get() const { return m_file; }

 private:
  std::FILE* m_file = nullptr;
  std::string m_path;  // still to remove when the file is closed
};

}  // namespace qtrace
