#include "standins/instrument-sim/call_mix.h"

#include <algorithm>
#include <cstring>

#include "trace/xlate/event_translator.h"
#include "support/trace_record_builder.h"

namespace instrument_sim {
namespace {

using namespace quorvel::xlate;

constexpr uint32_t kSession = 0x1001;
constexpr int32_t kErrorTimeout = static_cast<int32_t>(0xBFFF0015u);
constexpr int32_t kErrorResourceNotFound = static_cast<int32_t>(0xBFFF0011u);

const char* const kAddresses[] = {"GPIB0::7::INSTR", "TCPIP0::192.168.1.20::inst0::INSTR", "USB0::0x2A8D::0x0101::MY5400123::INSTR"};

struct Shape {
  const char* method;
  enum Kind { Scalar, Write, Read, FloatRead } kind;
  uint32_t arrayBytes;
  int32_t status;
};

std::vector<uint8_t> Bytes(std::mt19937_64& random, size_t n) {
  std::vector<uint8_t> out(n);
  for (auto& b : out) b = static_cast<uint8_t>(random() & 0x7F);
  return out;
}

Shape PickShape(Mix mix, std::mt19937_64& random) {
  if (mix == Mix::Small) return {"viGetAttribute", Shape::Scalar, 0, 0};
  if (mix == Mix::Array64k) return {"viRead", Shape::Read, 64 * 1024, 0};
  const unsigned roll = static_cast<unsigned>(random() % 100);
  auto size = [&](uint32_t max) { return 1 + static_cast<uint32_t>(random() % max); };
  if (roll < 40) return {roll < 20 ? "viSetAttribute" : "viGetAttribute", Shape::Scalar, 0, 0};
  if (roll < 60) return {"viWrite", Shape::Write, size(roll < 58 ? 256 : 256 * 1024), 0};
  if (roll < 80) return {"viRead", Shape::Read, size(roll < 78 ? 4096 : 256 * 1024), 0};
  if (roll < 92) return {"viMoveIn64", Shape::FloatRead, 8 * size(512), 0};
  return {"viOpen", Shape::Scalar, 0, roll < 96 ? kErrorTimeout : kErrorResourceNotFound};
}

uint64_t FloatBits(double d) {
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof bits);
  return bits;
}

// Adds an array parameter (entry, and its block when the record kind carries one).
void AddArray(TraceMessageBuilder& b, const char* name, uint8_t flags, uint8_t elementSize,
              const std::vector<uint8_t>& data, bool isEnter) {
  b.Param({.name = name, .flags = flags, .valueSize = elementSize, .pointer = 0x00A0F000});
  if (HasArrayBlock(flags, isEnter)) b.ArrayBlock(elementSize, data);
}

}  // namespace

bool ParseMix(const std::string& text, Mix& mix) {
  if (text == "visa") mix = Mix::Visa;
  else if (text == "small") mix = Mix::Small;
  else if (text == "array64k") mix = Mix::Array64k;
  else return false;
  return true;
}

TracedCall CallGenerator::Next(const CallContext& c, int64_t enterTime, int64_t exitTime) {
  const Shape shape = PickShape(m_mix, m_random);
  const char* address = kAddresses[m_random() % 3];
  // Room for the headers and parameter entries of the largest shape; the array data gets
  // what the limit and the pipe leave.
  const uint32_t room = c.maxMessageBytes > 2048 ? c.maxMessageBytes - 2048 : 0;
  uint32_t arrayBytes = std::min({shape.arrayBytes, room, shape.kind == Shape::FloatRead ? c.maxArrayBytes * 8 : c.maxArrayBytes});
  if (shape.kind == Shape::FloatRead) arrayBytes -= arrayBytes % 8;
  std::vector<uint8_t> data;
  if (shape.kind == Shape::FloatRead) {
    for (uint32_t i = 0; i < arrayBytes / 8; ++i) {
      const uint64_t bits = FloatBits(static_cast<double>(m_random() % 100000) / 64.0 - 500.0);
      for (int k = 0; k < 8; ++k) data.push_back(static_cast<uint8_t>(bits >> (8 * k)));
    }
  } else {
    data = Bytes(m_random, arrayBytes);
  }

  TracedCall call;
  for (const bool isEnter : {true, false}) {
    TraceMessageBuilder b("VISA");
    if (isEnter) {
      b.Enter({.processId = c.processId, .threadId = c.threadId, .appName = c.appName, .methodName = shape.method,
               .address = address, .timestamp = enterTime});
    } else {
      b.Exit({.processId = c.processId, .threadId = c.threadId, .elapsedNs = exitTime - enterTime,
              .status = shape.status, .address = address, .timestamp = exitTime});
    }
    b.Param({.name = "vi", .flags = kParamIn, .valueSize = 4, .value = kSession});
    switch (shape.kind) {
      case Shape::Scalar:
        b.Param({.name = "attribute", .flags = kParamIn, .valueSize = 4, .value = 0x3FFF001A});
        b.Param({.name = "value", .flags = static_cast<uint8_t>(kParamOut | kParamPointer), .valueSize = 4,
                 .pointer = 0x00A0F100, .value = isEnter ? 0u : 2000u});
        break;
      case Shape::Write:
        AddArray(b, "buf", kParamIn | kParamPointer | kParamArray, 1, data, isEnter);
        b.Param({.name = "count", .flags = kParamIn, .valueSize = 4, .value = arrayBytes});
        b.Param({.name = "retCount", .flags = kParamOut | kParamPointer, .valueSize = 4, .pointer = 0x00A0F200,
                 .value = isEnter ? 0u : arrayBytes});
        break;
      case Shape::Read:
      case Shape::FloatRead: {
        const uint8_t element = shape.kind == Shape::Read ? 1 : 8;
        const uint8_t flags = static_cast<uint8_t>(kParamOut | kParamPointer | kParamArray |
                                                   (element == 8 ? kParamSigned | kParamFloat : 0));
        AddArray(b, shape.kind == Shape::Read ? "buf" : "dest", flags, element, data, isEnter);
        b.Param({.name = "count", .flags = kParamIn, .valueSize = 4, .value = arrayBytes / element});
        break;
      }
    }
    (isEnter ? call.enter : call.exit) = b.Take();
  }
  return call;
}

}  // namespace instrument_sim
