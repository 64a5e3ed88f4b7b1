// Record files that stand-ins (and the libraries they play) append lines to:
// "<milliseconds since boot> <who> <what>", or a bare line from a library that writes no
// time. Several processes append to one file, so a reader waits for the lines it expects.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace bed {

struct RecordLine {
  ULONGLONG tick = 0;  // 0 for a line that carries no time
  std::string text;    // the line after its time, without the line end
};

// The value of 1 to 8 hexadecimal digits (either case) and nothing else; empty otherwise.
std::optional<DWORD> ParseHex(std::string_view text);
// The whole file as it is now, while other processes may still write to it; empty when
// it does not exist.
std::string ReadSharedFile(const std::string& path);
// The complete lines of data, each without its line feed; a last line still without one
// may be half-written and is left out.
std::vector<std::string_view> CompleteLines(std::string_view data);
// The complete lines of the file in order (a last line still without its line end is
// left out); empty when the file does not exist.
std::vector<RecordLine> ReadRecord(const std::string& path);
// The texts of |lines| from line |from| on.
std::vector<std::string> RecordTexts(const std::vector<RecordLine>& lines, size_t from = 0);
// Polls the file until |done| holds for its lines and returns them; after |timeoutMs|,
// returns what the file holds then.
std::vector<RecordLine> WaitForRecord(const std::string& path,
                                      const std::function<bool(const std::vector<RecordLine>&)>& done,
                                      DWORD timeoutMs);

}  // namespace bed
