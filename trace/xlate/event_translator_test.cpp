// Golden vectors for whole messages: lengths, source keys, the exit element, escaping,
// number formats and text fields. The same vectors run in the native and the Windows
// build, so the two are checked against each other.
#include <gtest/gtest.h>

#include <climits>

#include "trace/xlate/event_translator.h"
#include "trace/xlate/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

using testing::Enter;
using testing::Exit;
using testing::SampleEnter;
using testing::SampleExit;
using testing::Translate;

constexpr char kSampleEnterText[] =
    "<Message><Method><Method_Enter MethodName=\"VISA::viClear\" Timestamp=\"512\" AppName=\"demo.exe\" "
    "ThreadID=\"412\" ProcessID=\"988\" Address=\"GPIB0::7::INSTR\" Source=\"Korvane VISA\" "
    "ParamCount=\"0\"/></Method></Message>";

// The text between `before` and the next quote, or "<missing>".
std::string Attribute(const std::optional<std::string>& text, const std::string& before) {
  const std::size_t at = text ? text->find(before) : std::string::npos;
  if (at == std::string::npos) return "<missing>";
  return text->substr(at + before.size(), text->find('"', at + before.size()) - at - before.size());
}

TEST(TranslateEventLength, OnlyWholeEnterAndExitRecordsGiveOutput) {
  const auto enter = Enter().Take();
  ASSERT_EQ(enter.size(), 76u + 237u);
  ASSERT_EQ(Exit().Bytes().size(), 76u + 178u);
  EXPECT_EQ(Translate(enter), kSampleEnterText);
  EXPECT_TRUE(Translate(Exit().Take()));
  EXPECT_EQ(Translate(Enter().Cut(1).Take()), std::nullopt);
  EXPECT_EQ(Translate(Exit().Cut(1).Take()), std::nullopt);
  for (std::size_t size : {0u, 1u, 75u, 76u, 77u, 87u, 88u, 89u, 100u}) {
    EXPECT_EQ(Translate({enter.begin(), enter.begin() + static_cast<std::ptrdiff_t>(size)}), std::nullopt) << size;
  }
  for (std::uint32_t kind : {0u, 1u, 4u, 0x02000000u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Translate(TraceMessageBuilder("VISA").Record(kind, 400).Take()), std::nullopt) << kind;
  }
  EventTranslator translator;
  EXPECT_FALSE(translator.TranslateEvent(nullptr, nullptr));
  EXPECT_FALSE(translator.TranslateEvent(enter.data() + enter.size(), enter.data()));
}

TEST(TranslateEventSource, KeysMapToSourceValues) {
  const std::pair<std::string, std::string> cases[] = {
      {"VISA", "Korvane VISA"}, {"TRIL", "Korvane TRIL top"}, {"TRIL_B", "Korvane TRIL Bottom"},
      {"visa", " "},            {"TRIL_", " "},               {"", " "},
  };
  for (const auto& [key, source] : cases) {
    const auto text = Translate(Enter(key).Take());
    EXPECT_EQ(Attribute(text, "MethodName=\""), key + "::viClear");
    EXPECT_EQ(Attribute(text, "Source=\""), source) << key;
  }
}

TEST(TranslateEventExit, OpeningFollowsStatusSignAndHresultEnds) {
  auto fields = SampleExit();
  fields.status = static_cast<std::int32_t>(0xBFFF0011u);
  EXPECT_EQ(Translate(TraceMessageBuilder("TRIL").Exit(fields).Take()),
            "<Message><Method><Method_Error MethodName=\"TRIL\" Timestamp=\"2012\" ElapsedNS=\"1500\" "
            "ThreadID=\"412\" ProcessID=\"988\" Address=\"GPIB0::7::INSTR\" Source=\"Korvane TRIL top\" "
            "ParamCount=\"0\" HRESULT=\"-1073807343\"/></Method></Message>");
  for (std::int32_t status : {0, 1, INT32_MAX, -1, INT32_MIN}) {
    fields.status = status;
    const auto text = Translate(TraceMessageBuilder("TRIL").Exit(fields).Take()).value_or("");
    EXPECT_EQ(text.rfind(status < 0 ? "<Message><Method><Method_Error " : "<Message><Method><Method_Exit ", 0), 0u)
        << text;
    EXPECT_NE(text.find(" ParamCount=\"0\" HRESULT=\"" + std::to_string(status) + "\"/></Method></Message>"),
              std::string::npos)
        << text;
  }
}

TEST(TranslateEventExit, ElapsedNsInGeneralFormat) {
  const std::pair<std::int64_t, std::string> cases[] = {
      {0, "0"},           {1500, "1500"},       {999999, "999999"},           {1000000, "1e+006"},
      {1234567, "1.23457e+006"}, {2500000, "2.5e+006"}, {-42, "-42"},         {-999999, "-999999"},
      {-1000000, "-1e+006"},     {999999500, "1e+009"}, {INT64_MAX, "9.22337e+018"}, {INT64_MIN, "-9.22337e+018"},
  };
  for (const auto& [ns, expected] : cases) {
    auto fields = SampleExit();
    fields.elapsedNs = ns;
    EXPECT_EQ(Attribute(Translate(TraceMessageBuilder("VISA").Exit(fields).Take()), "\"2012\" ElapsedNS=\""),
              expected)
        << ns;
  }
}

TEST(TranslateEventEscaping, AttributeValuesAreEscapedOnceAndNumbersCoverTheirRange) {
  const auto enter = TraceMessageBuilder("T&<")
                         .Enter({.processId = 0, .threadId = UINT32_MAX, .appName = "a<b&\"c\"'d>",
                                 .methodName = "vi&amp;", .address = "<\">", .timestamp = INT64_MIN})
                         .Take();
  EXPECT_EQ(Translate(enter),
            "<Message><Method><Method_Enter MethodName=\"T&amp;&lt;::vi&amp;amp;\" "
            "Timestamp=\"-9223372036854775808\" AppName=\"a&lt;b&amp;&quot;c&quot;'d&gt;\" "
            "ThreadID=\"4294967295\" ProcessID=\"0\" Address=\"&lt;&quot;&gt;\" Source=\" \" "
            "ParamCount=\"0\"/></Method></Message>");
  auto exit = SampleExit();
  exit.address = "a&b";
  const auto exitText = Translate(TraceMessageBuilder("\"K\"").Exit(exit).Take());
  EXPECT_EQ(Attribute(exitText, "MethodName=\""), "&quot;K&quot;");
  EXPECT_EQ(Attribute(exitText, "Address=\""), "a&amp;b");

  std::string narrow = "a<b&\"c\"'>&amp;";
  EscapeAttributeValue(narrow);
  EXPECT_EQ(narrow, "a&lt;b&amp;&quot;c&quot;'&gt;&amp;amp;");
}

TEST(TranslateEventText, FieldsWithoutNulRunToTheirFullWidthAndAreWindows1252) {
  const std::string app(80, 'a'), method(80, 'm'), address(80, 'x'), key(80, 'k');
  auto enter = SampleEnter();
  enter.appName = app;
  enter.methodName = method;
  enter.address = address;
  const auto text = Translate(TraceMessageBuilder(key).Enter(enter).Take());
  EXPECT_EQ(Attribute(text, "MethodName=\""), key.substr(0, 64) + "::" + method.substr(0, 64));
  EXPECT_EQ(Attribute(text, "AppName=\""), app.substr(0, 65));
  EXPECT_EQ(Attribute(text, "Address=\""), address.substr(0, 64));

  enter.appName = "\x80\x81\x8D\x8F\x90\x9D\x9F\xE9\xFF";
  EXPECT_EQ(Attribute(Translate(TraceMessageBuilder("VISA").Enter(enter).Take()), "AppName=\""),
            "\u20AC\u0081\u008D\u008F\u0090\u009D\u0178\u00E9\u00FF");
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
