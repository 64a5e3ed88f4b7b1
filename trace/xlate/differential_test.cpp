// The translator against the straightforward reference over many generated messages:
// well-formed ones with every flag and size combination, edge values, long and cut array
// blocks, records of other kinds, and the same with bytes flipped and ends cut, where the
// walk over entries and array blocks is easiest to get wrong.
#include <gtest/gtest.h>

#include <climits>
#include <random>

#include "trace/xlate/event_translator.h"
#include "trace/xlate/reference/reference_translator.h"
#include "trace/xlate/testing/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

class MessageGenerator {
 public:
  explicit MessageGenerator(std::uint64_t seed) : m_random(seed) {}

  std::vector<std::uint8_t> Next() {
    static constexpr std::string_view kKeys[] = {"VISA", "TRIL", "TRIL_B", "visa", "", "K&\"<>", "TRIL_", "VISA "};
    TraceMessageBuilder builder(Below(10) < 8 ? kKeys[Below(8)] : Text(70));
    if (Below(32) == 0) return builder.Record(Below(2) == 0 ? Below(5) : Word(), Below(400)).Take();
    const bool isEnter = Below(2) == 0;
    const std::string app = Text(70), method = Text(70), address = Text(70);
    const auto timestamp = Number();
    if (isEnter) {
      builder.Enter({Word(), Word(), app, method, address, timestamp});
    } else {
      builder.Exit({Word(), Word(), Number() >> Below(64), static_cast<std::int32_t>(Number() >> 32), address,
                    timestamp});
    }
    for (std::uint32_t n = Below(5); n > 0; --n) {
      const auto flags = static_cast<std::uint8_t>(Below(256));
      const std::string name = Text(130);
      builder.Param({.name = name, .flags = flags, .valueSize = static_cast<std::uint8_t>(Size()),
                     .pointer = Below(4) == 0 ? 0 : Word(), .value = m_random()});
      if (HasArrayBlock(flags, isEnter) || Below(16) == 0) {
        std::vector<std::uint8_t> data(Below(16) == 0 ? Below(1100) : Below(48));
        for (auto& b : data) b = static_cast<std::uint8_t>(m_random());
        auto claim = static_cast<std::uint32_t>(data.size());  // sometimes more than it holds
        if (Below(8) == 0) claim = Below(4) == 0 ? static_cast<std::uint32_t>(Number()) : claim + Below(8);
        builder.ArrayBlockClaiming(static_cast<std::uint16_t>(Size()), claim, data);
      }
    }
    auto message = builder.Take();
    if (Below(3) == 0) {  // damage it
      for (std::uint32_t n = Below(4); n > 0 && !message.empty(); --n)
        message[Below(static_cast<std::uint32_t>(message.size()))] = static_cast<std::uint8_t>(m_random());
      const auto size = static_cast<std::uint32_t>(message.size());
      message.resize(Below(4) == 0 ? Below(size + 1) : size - Below(size / 4 + 1));
    }
    return message;
  }

 private:
  std::uint32_t Below(std::uint32_t n) { return static_cast<std::uint32_t>(m_random() % n); }
  std::uint32_t Word() { return static_cast<std::uint32_t>(m_random()); }
  // Any 64-bit value, the extremes and their neighbours more often than by chance.
  std::int64_t Number() {
    static constexpr std::int64_t kEdges[] = {INT64_MIN, INT64_MIN + 1, -1, 0, INT64_MAX};
    return Below(8) == 0 ? kEdges[Below(5)] : static_cast<std::int64_t>(m_random());
  }
  std::uint32_t Size() { return Below(4) == 0 ? Below(10) : (1u << Below(4)); }
  std::string Text(std::uint32_t maxLength) {
    static constexpr char kAlphabet[] = "abcXYZ09 :&<>\"'\x80\x81\x9D\xE9\xFF";
    std::string text(Below(maxLength + 1), ' ');
    for (char& c : text) c = kAlphabet[Below(sizeof kAlphabet - 1)];
    return text;
  }

  std::mt19937_64 m_random;
};

TEST(TranslateEventDifferential, MatchesReferenceOnGeneratedMessages) {
  MessageGenerator generator(5);
  EventTranslator translator(testing::GoldenCodePage());
  int mismatches = 0, withOutput = 0;
  for (int i = 0; i < 20000; ++i) {
    const auto message = generator.Next();
    const auto expected = reference::TranslateEvent(message.data(), message.data() + message.size());
    const auto actual = translator.TranslateEvent(message.data(), message.data() + message.size());
    withOutput += actual.has_value();
    const bool same = expected.has_value() == actual.has_value() && (!expected || *expected == *actual);
    if (!same && ++mismatches <= 5) {
      ADD_FAILURE() << "message " << i << "\nexpected: " << (expected ? testing::ToUtf8(*expected) : "<none>")
                    << "\nactual:   " << (actual ? testing::ToUtf8(*actual) : "<none>");
    }
  }
  EXPECT_EQ(mismatches, 0);
  EXPECT_GT(withOutput, 10000);  // the generator mostly makes messages that translate
}

}  // namespace
}  // namespace quorvel::xlate
