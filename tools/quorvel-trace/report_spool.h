// A scratch file for the calls of a report while the capture streams by: they go to disk,
// not to memory, and come back as rows once the page's head is written. The file lives in
// the system's temporary folder and is gone when its owner is.
#pragma once

#include <cstdio>
#include <string>

#include "base/unique.h"

namespace qtrace {

class SpoolFile {
 public:
  SpoolFile() = default;
  SpoolFile(const SpoolFile&) = delete;
  SpoolFile& operator=(const SpoolFile&) = delete;
  ~SpoolFile();

  // False with the reason in |error|.
  bool Open(std::string& error);
  std::FILE* Get() const { return m_file.Get(); }

 private:
  UniqueCFile m_file;
  std::string m_path;  // still to remove when the file is closed
};

}  // namespace qtrace
