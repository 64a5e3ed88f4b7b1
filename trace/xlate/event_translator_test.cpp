// Golden vectors for whole messages: lengths, source keys, the exit element, escaping,
// number formats and text fields. The same vectors run in the native and the Windows
// build, so the two are checked against each other.
#include <gtest/gtest.h>

#include <climits>

#include "trace/xlate/event_translator.h"
#include "trace/xlate/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

using testing::SampleEnter;
using testing::SampleExit;
using testing::Translate;

constexpr char kSampleEnterText[] =
    "<Message><Method><Method_Enter MethodName=\"VISA::viClear\" Timestamp=\"512\" AppName=\"demo.exe\" "
    "ThreadID=\"412\" ProcessID=\"988\" Address=\"GPIB0::7::INSTR\" Source=\"Korvane VISA\" "
    "ParamCount=\"0\"/></Method></Message>";

TEST(TranslateEventLength, HeaderAloneAndShortRecordsGiveNoOutput) {
  const auto enter = TraceMessageBuilder("VISA").Enter(SampleEnter()).Take();
  const auto exit = TraceMessageBuilder("VISA").Exit(SampleExit()).Take();
  ASSERT_EQ(enter.size(), 76u + 237u);
  ASSERT_EQ(exit.size(), 76u + 178u);

  EXPECT_EQ(Translate(enter), kSampleEnterText);
  EXPECT_EQ(Translate(TraceMessageBuilder("VISA").Enter(SampleEnter()).Cut(1).Take()), std::nullopt);
  EXPECT_TRUE(Translate(exit).has_value());
  EXPECT_EQ(Translate(TraceMessageBuilder("VISA").Exit(SampleExit()).Cut(1).Take()), std::nullopt);
  for (std::size_t size : {0u, 1u, 75u, 76u, 77u, 87u, 88u, 89u, 100u}) {
    auto prefix = enter;
    prefix.resize(size);
    EXPECT_EQ(Translate(prefix), std::nullopt) << size << " bytes";
  }
}

TEST(TranslateEventLength, KindsOtherThanEnterAndExitGiveNoOutput) {
  for (std::uint32_t kind : {0u, 1u, 4u, 0x02000000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Translate(TraceMessageBuilder("VISA").Record(kind, 400).Take()), std::nullopt) << kind;
  }
}

TEST(TranslateEventLength, NullAndReversedRangesGiveNoOutput) {
  const auto message = TraceMessageBuilder("VISA").Enter(SampleEnter()).Take();
  EventTranslator translator;
  EXPECT_FALSE(translator.TranslateEvent(nullptr, nullptr));
  EXPECT_FALSE(translator.TranslateEvent(message.data() + message.size(), message.data()));
}

TEST(TranslateEventSource, KeysMapToSourceValues) {
  struct Case {
    std::string_view key, methodName, source;
  } cases[] = {
      {"VISA", "VISA::viClear", "Korvane VISA"},
      {"TRIL", "TRIL::viClear", "Korvane TRIL top"},
      {"TRIL_B", "TRIL_B::viClear", "Korvane TRIL Bottom"},
      {"visa", "visa::viClear", " "},
      {"TRIL_", "TRIL_::viClear", " "},
      {"", "::viClear", " "},
  };
  for (const Case& c : cases) {
    const auto text = Translate(TraceMessageBuilder(c.key).Enter(SampleEnter()).Take());
    ASSERT_TRUE(text) << c.key;
    EXPECT_NE(text->find("MethodName=\"" + std::string(c.methodName) + "\""), std::string::npos) << *text;
    EXPECT_NE(text->find("Source=\"" + std::string(c.source) + "\" ParamCount"), std::string::npos) << *text;
  }
}

TEST(TranslateEventExit, OpeningFollowsStatusSignAndHresultEnds) {
  struct Case {
    std::int32_t status;
    std::string_view expected;
  } cases[] = {
      {0,
       "<Message><Method><Method_Exit MethodName=\"TRIL\" Timestamp=\"2012\" ElapsedNS=\"1500\" ThreadID=\"412\" "
       "ProcessID=\"988\" Address=\"GPIB0::7::INSTR\" Source=\"Korvane TRIL top\" ParamCount=\"0\" "
       "HRESULT=\"0\"/></Method></Message>"},
      {static_cast<std::int32_t>(0xBFFF0011u),
       "<Message><Method><Method_Error MethodName=\"TRIL\" Timestamp=\"2012\" ElapsedNS=\"1500\" ThreadID=\"412\" "
       "ProcessID=\"988\" Address=\"GPIB0::7::INSTR\" Source=\"Korvane TRIL top\" ParamCount=\"0\" "
       "HRESULT=\"-1073807343\"/></Method></Message>"},
  };
  for (const Case& c : cases) {
    auto fields = SampleExit();
    fields.status = c.status;
    EXPECT_EQ(Translate(TraceMessageBuilder("TRIL").Exit(fields).Take()), c.expected);
  }
  for (std::int32_t status : {1, INT32_MAX, -1, INT32_MIN}) {
    auto fields = SampleExit();
    fields.status = status;
    const auto text = Translate(TraceMessageBuilder("TRIL").Exit(fields).Take());
    ASSERT_TRUE(text);
    EXPECT_EQ(text->rfind(status < 0 ? "<Message><Method><Method_Error " : "<Message><Method><Method_Exit ", 0), 0u);
    EXPECT_NE(text->find(" HRESULT=\"" + std::to_string(status) + "\"/></Method>"), std::string::npos) << *text;
  }
}

TEST(TranslateEventExit, ElapsedNsInGeneralFormat) {
  struct Case {
    std::int64_t ns;
    std::string_view text;
  } cases[] = {
      {0, "0"},
      {1500, "1500"},
      {999999, "999999"},
      {1000000, "1e+006"},
      {1234567, "1.23457e+006"},
      {2500000, "2.5e+006"},
      {-42, "-42"},
      {-999999, "-999999"},
      {-1000000, "-1e+006"},
      {999999500, "1e+009"},
      {INT64_MAX, "9.22337e+018"},
      {INT64_MIN, "-9.22337e+018"},
  };
  for (const Case& c : cases) {
    auto fields = SampleExit();
    fields.elapsedNs = c.ns;
    const auto text = Translate(TraceMessageBuilder("VISA").Exit(fields).Take());
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("Timestamp=\"2012\" ElapsedNS=\"" + std::string(c.text) + "\" ThreadID="),
              std::string::npos)
        << c.ns << ": " << *text;
  }
}

TEST(TranslateEventNumbers, TimestampAndIdsCoverTheirWholeRange) {
  auto enter = SampleEnter();
  enter.timestamp = INT64_MIN;
  enter.threadId = UINT32_MAX;
  enter.processId = 0;
  const auto text = Translate(TraceMessageBuilder("VISA").Enter(enter).Take());
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("Timestamp=\"-9223372036854775808\" AppName=\"demo.exe\" ThreadID=\"4294967295\" "
                       "ProcessID=\"0\" Address="),
            std::string::npos)
      << *text;
}

TEST(TranslateEventEscaping, AttributeValuesAreEscapedOnce) {
  auto enter = SampleEnter();
  enter.appName = "a<b&\"c\"'d>";
  enter.methodName = "vi&amp;";
  enter.address = "<\">";
  const auto text = Translate(TraceMessageBuilder("T&<").Enter(enter).Take());
  EXPECT_EQ(text,
            "<Message><Method><Method_Enter MethodName=\"T&amp;&lt;::vi&amp;amp;\" Timestamp=\"512\" "
            "AppName=\"a&lt;b&amp;&quot;c&quot;'d&gt;\" ThreadID=\"412\" ProcessID=\"988\" "
            "Address=\"&lt;&quot;&gt;\" Source=\" \" ParamCount=\"0\"/></Method></Message>");

  auto exit = SampleExit();
  exit.address = "a&b";
  const auto exitText = Translate(TraceMessageBuilder("\"K\"").Exit(exit).Take());
  ASSERT_TRUE(exitText);
  EXPECT_NE(exitText->find("MethodName=\"&quot;K&quot;\""), std::string::npos) << *exitText;
  EXPECT_NE(exitText->find("Address=\"a&amp;b\""), std::string::npos) << *exitText;
}

TEST(TranslateEventEscaping, NarrowInPlaceEscaping) {
  std::string text = "a<b&\"c\"'>&amp;";
  EscapeAttributeValue(text);
  EXPECT_EQ(text, "a&lt;b&amp;&quot;c&quot;'&gt;&amp;amp;");
}

TEST(TranslateEventText, FieldsWithoutNulRunToTheirFullWidth) {
  const std::string app(80, 'a'), method(80, 'm'), address(80, 'x'), key(80, 'k');
  auto enter = SampleEnter();
  enter.appName = app;
  enter.methodName = method;
  enter.address = address;
  const auto text = Translate(TraceMessageBuilder(key).Enter(enter).Take());
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("MethodName=\"" + key.substr(0, 64) + "::" + method.substr(0, 64) + "\""), std::string::npos);
  EXPECT_NE(text->find("AppName=\"" + app.substr(0, 65) + "\""), std::string::npos);
  EXPECT_NE(text->find("Address=\"" + address.substr(0, 64) + "\""), std::string::npos);
}

TEST(TranslateEventText, NarrowTextIsWindows1252) {
  auto enter = SampleEnter();
  enter.appName = "\x80\x81\x8D\x8F\x90\x9D\x9F\xE9\xFF";
  const auto text = Translate(TraceMessageBuilder("VISA").Enter(enter).Take());
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("AppName=\"\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9\u00FF\""), std::string::npos)
      << *text;
}

// A code page with multi-byte characters sees each text value with its closing quote; a
// value it cannot convert empties the message (the element) or drops the parameter.
std::ptrdiff_t ConvertAsciiOrFail(const char* text, std::size_t n, char16_t* out) {
  for (std::size_t i = 0; i < n; ++i) {
    if (static_cast<unsigned char>(text[i]) >= 0x80) return -1;
    out[i] = static_cast<char16_t>(text[i]);
  }
  if (n == 0 || text[n - 1] != '"') return -1;
  return static_cast<std::ptrdiff_t>(n);
}

TEST(TranslateEventText, MultiByteCodePageFailuresEmptyTheMessageOrDropTheParameter) {
  const NarrowCodePage codePage{nullptr, &ConvertAsciiOrFail};
  const auto plain = TraceMessageBuilder("VISA").Enter(SampleEnter()).Take();
  EXPECT_EQ(Translate(plain, codePage), kSampleEnterText);

  auto enter = SampleEnter();
  enter.address = "\xE9";
  EXPECT_EQ(Translate(TraceMessageBuilder("VISA").Enter(enter).Take(), codePage), "");

  const auto withParams = TraceMessageBuilder("VISA")
                              .Enter(SampleEnter())
                              .Param({.name = "\xE9", .flags = kParamIn, .valueSize = 4, .value = 1})
                              .Param({.name = "ok&", .flags = kParamIn, .valueSize = 4, .value = 2})
                              .Take();
  const auto text = Translate(withParams, codePage);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("ParamCount=\"2\""), std::string::npos);
  EXPECT_NE(text->find("<Parameters><Parameter Name=\"ok&\" RetVal=\"False\" InParam=\"True\" OutParam=\"False\" "
                       "ParamType=\"uint32\"><Element Value=\"2\"/></Parameter></Parameters></Message>"),
            std::string::npos)
      << *text;
}

TEST(TranslateEventBuffer, ResultIsNulTerminatedAndBufferIsReused) {
  const auto big = TraceMessageBuilder("VISA")
                       .Enter(SampleEnter())
                       .Param({.name = "buf", .flags = kParamIn | kParamArray, .valueSize = 1})
                       .ArrayBlock(1, std::vector<std::uint8_t>(4096, 0xAB))
                       .Take();
  const auto small = TraceMessageBuilder("VISA").Enter(SampleEnter()).Take();
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
