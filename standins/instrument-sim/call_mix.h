// Traced calls as an instrument library would post them: for each call a method-enter
// and a method-exit trace message with parameter entries and array blocks.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace instrument_sim {

enum class Mix {
  Visa,     // a realistic mix: small scalar calls, writes and reads with byte arrays up
            // to 256 KiB, float arrays, some failures with a negative status
  Small,    // one small scalar call shape only
  Array64k  // a read returning a 64 KiB byte array
};

struct CallContext {
  uint32_t processId = 0;
  uint32_t threadId = 0;
  std::string appName;
  uint32_t maxArrayBytes = 1024;  // the libraries' array limit, in elements of one byte
  uint32_t maxMessageBytes = 262144 - 4;
};

struct TracedCall {
  std::vector<uint8_t> enter;  // trace messages (without the pipe's 4 leading bytes)
  std::vector<uint8_t> exit;
};

class CallGenerator {
 public:
  CallGenerator(Mix mix, uint64_t seed) : m_mix(mix), m_random(seed) {}
  // The next call, stamped with the trace-clock times at which it began and returned.
  TracedCall Next(const CallContext& context, int64_t enterTime, int64_t exitTime);

 private:
  Mix m_mix;
  std::mt19937_64 m_random;
};

// Parses "visa", "small" or "array64k".
bool ParseMix(const std::string& text, Mix& mix);

}  // namespace instrument_sim
