#include "standins/instrument-sim/call_mix.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "trace/xlate/event_translator.h"
#include "support/trace_record_builder.h"

namespace instrument_sim {
namespace {

using namespace quorvel::xlate;

constexpr uint32_t kResourceManager = 0x1000;
constexpr uint32_t kSession = 0x1001;
constexpr int32_t kSuccessTermChar = 0x3FFF0005;
constexpr int32_t kSuccessMaxCount = 0x3FFF0006;
constexpr int32_t kErrorTimeout = static_cast<int32_t>(0xBFFF0015u);
constexpr int32_t kErrorResourceNotFound = static_cast<int32_t>(0xBFFF0011u);
constexpr uint32_t kAttrTimeout = 0x3FFF001A;   // time-out value in ms
constexpr uint32_t kAttrTermChar = 0x3FFF0018;  // termination character
constexpr uint32_t kAttrTermCharEnabled = 0x3FFF0038;
constexpr uint32_t kReadCount = 256;

// Invented instruments: a GPIB address, a LAN address in a private network, a serial port.
const char* const kAddresses[] = {"GPIB0::7::INSTR", "TCPIP0::192.168.1.20::inst0::INSTR", "ASRL3::INSTR"};

std::vector<uint8_t> Text(std::string_view text) { return {text.begin(), text.end()}; }

// What the instrument answers to a query.
std::string Reply(std::string_view query, std::mt19937_64& random) {
  char text[64];
  if (query.starts_with("*IDN?")) return "Halvoric Labs,QV-204,SN00417,2.1.0\n";
  if (query.starts_with("SYST:ERR?")) return "+0,\"No error\"\n";
  const double volts = static_cast<double>(random() % 2000000) / 1e6 + 1.0;
  std::snprintf(text, sizeof text, "%+.6E\n", volts);
  return text;
}

// Adds an array parameter (entry, and its block when the record kind carries one).
void AddArray(TraceMessageBuilder& b, const char* name, uint8_t flags, uint8_t elementSize,
              const std::vector<uint8_t>& data, bool isEnter) {
  b.Param({.name = name, .flags = flags, .valueSize = elementSize, .pointer = 0x00A0F000});
  if (HasArrayBlock(flags, isEnter)) b.ArrayBlock(elementSize, data);
}

void In(TraceMessageBuilder& b, const char* name, uint32_t value) {
  b.Param({.name = name, .flags = kParamIn, .valueSize = 4, .value = value});
}
void Out(TraceMessageBuilder& b, const char* name, uint32_t value) {
  b.Param({.name = name, .flags = kParamOut | kParamPointer, .valueSize = 4, .pointer = 0x00A0F100, .value = value});
}

// The parameters of one record of a call: the enter carries what goes in, the exit what
// comes out.
void AddParameters(TraceMessageBuilder& b, const CallPlan& p, bool isEnter) {
  const std::string_view method = p.method;
  if (method == "viOpen") {
    if (isEnter) {
      In(b, "sesn", kResourceManager);
      AddArray(b, "rsrcName", kParamIn | kParamArray, 1, p.written, true);
      In(b, "accessMode", 0);
      In(b, "openTimeout", 2000);
    } else {
      Out(b, "vi", p.status < 0 ? 0 : kSession);
    }
    return;
  }
  if (isEnter) In(b, "vi", kSession);
  if (method == "viWrite") {
    if (isEnter) {
      AddArray(b, "buf", kParamIn | kParamArray, 1, p.written, true);
      In(b, "count", p.count);
    } else {
      Out(b, "retCount", p.status < 0 ? 0 : p.count);
    }
  } else if (method == "viRead") {
    if (isEnter) {
      In(b, "count", p.count);
    } else {
      AddArray(b, "buf", kParamOut | kParamArray, 1, p.read, false);
      Out(b, "retCount", static_cast<uint32_t>(p.read.size()));
    }
  } else if (method == "viGetAttribute") {
    if (isEnter) In(b, "attrName", p.attribute);
    else Out(b, "attrValue", p.attributeValue);
  } else if (method == "viSetAttribute" && isEnter) {
    In(b, "attrName", p.attribute);
    In(b, "attrValue", p.attributeValue);
  }
}

}  // namespace

bool ParseMix(const std::string& text, Mix& mix) {
  if (text == "visa") mix = Mix::Visa;
  else if (text == "small") mix = Mix::Small;
  else if (text == "array64k") mix = Mix::Array64k;
  else return false;
  return true;
}

CallPlan CallGenerator::NextInSession(uint32_t maxBytes) {
  CallPlan p;
  const unsigned roll = static_cast<unsigned>(m_random() % 100);
  if (!m_pendingQuery.empty()) {
    // The reply to the query just written; a waveform comes as a definite-length block.
    p.method = "viRead";
    if (m_pendingQuery.starts_with("CURV?")) {
      const uint32_t points = std::min<uint32_t>(maxBytes, 1 + static_cast<uint32_t>(m_random() % (256 * 1024)));
      p.count = points;
      for (uint32_t i = 0; i < points; ++i) p.read.push_back(static_cast<uint8_t>(m_random()));
      p.status = kSuccessMaxCount;
    } else if (roll < 4) {
      p.count = kReadCount;
      p.status = kErrorTimeout;
    } else {
      const std::string reply = Reply(m_pendingQuery, m_random);
      p.count = kReadCount;
      p.read.assign(reply.begin(), reply.begin() + std::min<size_t>(reply.size(), maxBytes));
      p.status = kSuccessTermChar;
    }
    m_pendingQuery.clear();
    return p;
  }
  if (roll < 3) {
    p.method = "viClose";
    m_step = 0;
  } else if (roll < 6) {
    p.method = "viClear";
  } else if (roll < 14) {
    p.method = "viGetAttribute";
    p.attribute = roll < 10 ? kAttrTimeout : kAttrTermChar;
    p.attributeValue = roll < 10 ? 2000 : '\n';
  } else {
    static const char* const kQueries[] = {"MEAS:VOLT:DC?\n", "MEAS:VOLT:DC?\n", "MEAS:VOLT:DC?\n", "*IDN?\n",
                                           "SYST:ERR?\n",     "CURV?\n",         "CONF:VOLT:DC 10,0.001\n"};
    const std::string query = kQueries[m_random() % std::size(kQueries)];
    p.method = "viWrite";
    p.written = Text(query.substr(0, maxBytes));
    p.count = static_cast<uint32_t>(p.written.size());
    if (query.find('?') != std::string::npos) m_pendingQuery = query;
  }
  return p;
}

CallPlan CallGenerator::NextPlan(const CallContext& c) {
  // Room for the headers and parameter entries; the array data gets what the limit and the
  // pipe leave.
  const uint32_t room = c.maxMessageBytes > 2048 ? c.maxMessageBytes - 2048 : 0;
  const uint32_t maxBytes = std::min(room, c.maxArrayBytes);
  CallPlan p;
  if (m_mix == Mix::Small) {
    p.method = "viGetAttribute";
    p.attribute = kAttrTimeout;
    p.attributeValue = 2000;
    return p;
  }
  if (m_mix == Mix::Array64k) {
    p.method = "viRead";
    p.count = 64 * 1024;
    for (uint32_t i = 0; i < std::min(p.count, maxBytes); ++i) p.read.push_back(static_cast<uint8_t>(m_random()));
    p.status = kSuccessMaxCount;
    return p;
  }
  switch (m_step) {
    case 0:
      m_address = kAddresses[m_random() % std::size(kAddresses)];
      p.method = "viOpen";
      p.written = Text(std::string_view(m_address).substr(0, maxBytes));
      p.status = m_random() % 25 == 0 ? kErrorResourceNotFound : 0;
      if (p.status == 0) m_step = 1;
      return p;
    case 1:
      p.method = "viSetAttribute";
      p.attribute = kAttrTimeout;
      p.attributeValue = 2000;
      m_step = 2;
      return p;
    case 2:
      p.method = "viSetAttribute";
      p.attribute = kAttrTermCharEnabled;
      p.attributeValue = 1;
      m_step = 3;
      return p;
    default:
      return NextInSession(maxBytes);
  }
}

TracedCall CallGenerator::Next(const CallContext& c, int64_t enterTime, int64_t exitTime) {
  const CallPlan plan = NextPlan(c);
  const char* address = m_mix == Mix::Visa ? m_address : kAddresses[0];
  TracedCall call;
  for (const bool isEnter : {true, false}) {
    TraceMessageBuilder b("VISA");
    if (isEnter) {
      b.Enter({.processId = c.processId, .threadId = c.threadId, .appName = c.appName, .methodName = plan.method,
               .address = address, .timestamp = enterTime});
    } else {
      b.Exit({.processId = c.processId, .threadId = c.threadId, .elapsedNs = exitTime - enterTime,
              .status = plan.status, .address = address, .timestamp = exitTime});
    }
    AddParameters(b, plan, isEnter);
    (isEnter ? call.enter : call.exit) = b.Take();
  }
  return call;
}

}  // namespace instrument_sim
