// What the comparison with the reference translator cannot see: one whole message pinned
// byte for byte, the Windows-1252 table (both translators share it), escaping that must
// not spare an existing entity, multi-byte code pages and the reuse of the buffer. The
// same vectors run in the native and the Windows build, so the two are checked against
// each other.
#include <gtest/gtest.h>

#include "trace/xlate/event_translator.h"
#include "trace/xlate/testing/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

using testing::Enter;
using testing::SampleEnter;
using testing::Translate;

constexpr char kSampleEnterText[] =
    "<Message><Method><Method_Enter MethodName=\"VISA::viClear\" Timestamp=\"512\" AppName=\"demo.exe\" "
    "ThreadID=\"412\" ProcessID=\"988\" Address=\"GPIB0::7::INSTR\" Source=\"Korvane VISA\" "
    "ParamCount=\"0\"/></Method></Message>";

TEST(TranslateEvent, WholeMessageAndInputsThatAreNoMessage) {
  const auto enter = Enter().Take();
  EXPECT_EQ(Translate(enter), kSampleEnterText);
  EventTranslator translator;
  EXPECT_FALSE(translator.TranslateEvent(nullptr, nullptr));
  EXPECT_FALSE(translator.TranslateEvent(enter.data() + enter.size(), enter.data()));
}

TEST(TranslateEventText, Windows1252AndEscapingOnce) {
  auto enter = SampleEnter();
  enter.appName = "\x80\x81\x8D\x8F\x90\x9D\x9F\xE9\xFF";
  const auto text = Translate(TraceMessageBuilder("VISA").Enter(enter).Take()).value_or("");
  EXPECT_NE(text.find("AppName=\"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9\u00FF\""), std::string::npos)
      << text;
  std::string narrow = "a<b&\"c\"'>&amp;";
  EscapeAttributeValue(narrow);
  EXPECT_EQ(narrow, "a&lt;b&amp;&quot;c&quot;'&gt;&amp;amp;");
}

// A code page with multi-byte characters sees each text value with its closing quote; a
// value it cannot convert empties the message (the element) or drops the parameter.
std::ptrdiff_t ConvertAsciiOrFail(const char* text, std::size_t n, char16_t* out) {
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return -1;
    out[i] = static_cast<char16_t>(text[i]);
  }
  return n == 0 || text[n - 1] != '"' ? -1 : static_cast<std::ptrdiff_t>(n);
}

TEST(TranslateEventText, MultiByteCodePageFailuresEmptyTheMessageOrDropTheParameter) {
  const NarrowCodePage codePage{nullptr, &ConvertAsciiOrFail};
  EXPECT_EQ(Translate(Enter().Take(), codePage), kSampleEnterText);
  auto enter = SampleEnter();
  enter.address = "\xE9";
  EXPECT_EQ(Translate(TraceMessageBuilder("VISA").Enter(enter).Take(), codePage), "");
  const auto withParams = Enter()
                              .Param({.name = "\xE9", .flags = kParamIn, .valueSize = 4, .value = 1})
                              .Param({.name = "ok&", .flags = kParamIn, .valueSize = 4, .value = 2})
                              .Take();
  const auto text = Translate(withParams, codePage).value_or("");
  EXPECT_NE(text.find("ParamCount=\"2\"/></Method><Parameters><Parameter Name=\"ok&\" RetVal=\"False\" "
                      "InParam=\"True\" OutParam=\"False\" ParamType=\"uint32\"><Element Value=\"2\"/>"
                      "</Parameter></Parameters></Message>"),
            std::string::npos)
      << text;
}

TEST(TranslateEventBuffer, ResultIsNulTerminatedAndBufferIsReused) {
  const auto big = Enter()
                       .Param({.name = "buf", .flags = kParamIn | kParamArray, .valueSize = 1})
                       .ArrayBlock(1, std::vector<std::uint8_t>(4096, 0xAB))
                       .Take();
  const auto small = Enter().Take();
  EventTranslator translator;
  ASSERT_TRUE(translator.TranslateEvent(big.data(), big.data() + big.size()));
  const std::size_t capacity = translator.Buffer().Capacity();
  const char16_t* data = translator.Buffer().Data();
  const auto text = translator.TranslateEvent(small.data(), small.data() + small.size());
  ASSERT_TRUE(text);
  EXPECT_EQ(testing::ToUtf8(*text), kSampleEnterText);
  EXPECT_EQ(text->data()[text->size()], u'\0');
  EXPECT_EQ(translator.Buffer().Capacity(), capacity);
  EXPECT_EQ(translator.Buffer().Data(), data);
}

}  // namespace
}  // namespace quorvel::xlate
