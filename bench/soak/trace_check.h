// The check of the soak's trace traffic: what the clients posted (their dumps, put
// through the reference translator) against what the viewer captured, per client thread,
// in order and byte for byte.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace soak {

// Texts grouped by the client process and thread they name, each group in its order.
using TextsByThread = std::map<std::string, std::vector<std::string>>;

// Adds the expected texts (UTF-8) of the messages in one client dump file; the number of
// messages read, or -1 when the file cannot be read.
int64_t AddExpectedFromDump(const std::string& dumpPath, TextsByThread& expected);
void AddText(const std::string& text, TextsByThread& groups);

// Follows a capture file (one UTF-8 text per line) as it grows.
class CaptureReader {
 public:
  explicit CaptureReader(std::string path) : m_path(std::move(path)) {}
  // The lines completed since the last call.
  std::vector<std::string> ReadNew();

 private:
  std::string m_path;
  uint64_t m_offset = 0;
};

struct TraceVerdict {
  uint64_t expected = 0;
  uint64_t captured = 0;
  uint64_t mismatchedThreads = 0;  // threads whose captured texts differ from what was sent
  std::string firstProblem;
  bool Ok() const { return expected == captured && mismatchedThreads == 0; }
};

TraceVerdict Compare(const TextsByThread& expected, const TextsByThread& captured);

}  // namespace soak
