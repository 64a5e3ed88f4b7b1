// Where a command writes its document: standard output for "-", else a temporary file
// beside the target that is renamed into place only once it is whole, so that a failure
// never leaves half a file and never harms what was there. An output that is the same file
// as an input (by identity: another spelling or a hard link counts) is refused before
// anything is opened.
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace qtrace {

// True when both paths name one existing file.
bool SameFile(const std::string& a, const std::string& b);

class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile();

  // False with the reason in |error| (then nothing was created).
  bool Open(const std::string& path, const std::vector<std::string>& inputs, std::string& error);
  std::FILE* Get() const { return m_file; }
  bool IsStandardOutput() const { return m_path == "-"; }
  // Flushes and puts the file in place; false with the reason (the temporary file is removed).
  bool Commit(std::string& error);

 private:
  void Discard();

  std::string m_path, m_temporary;
  std::FILE* m_file = nullptr;  // owned unless it is stdout
};

}  // namespace qtrace
