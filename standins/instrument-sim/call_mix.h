// Traced calls as an instrument library would post them: for each call a method-enter
// and a method-exit trace message with parameter entries and array blocks.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace instrument_sim {

enum class Mix {
  Visa,     // sessions as a test program makes them: viOpen, attributes, SCPI queries
            // written and their replies read, waveform reads up to 256 KiB, viClear,
            // viClose, and now and then a time-out or a resource not found
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

// One call of a session: its method, parameters and outcome, before it is encoded.
struct CallPlan {
  const char* method = "";
  std::vector<uint8_t> written;   // viWrite's buffer, viOpen's resource name
  std::vector<uint8_t> read;      // viRead's buffer
  uint32_t count = 0;             // the count passed in
  uint32_t attribute = 0, attributeValue = 0;
  int32_t status = 0;
};

class CallGenerator {
 public:
  CallGenerator(Mix mix, uint64_t seed) : m_mix(mix), m_random(seed) {}
  // The next call, stamped with the trace-clock times at which it began and returned.
  TracedCall Next(const CallContext& context, int64_t enterTime, int64_t exitTime);

 private:
  CallPlan NextPlan(const CallContext& context);
  CallPlan NextInSession(uint32_t maxBytes);

  Mix m_mix;
  std::mt19937_64 m_random;
  // Where this thread's session stands: closed (0), then the steps after viOpen.
  int m_step = 0;
  const char* m_address = "";
  std::string m_pendingQuery;  // the query whose reply the next viRead gets
};

// Parses "visa", "small" or "array64k".
bool ParseMix(const std::string& text, Mix& mix);

}  // namespace instrument_sim
