// The Windows adapter: BSTR results and the ANSI code page.
#include <gtest/gtest.h>

#include "trace/xlate/event_translator_win32.h"
#include "trace/xlate/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

TEST(TranslateEventToBstr, ReturnsAllocatedTextOrNull) {
  const auto message = TraceMessageBuilder("VISA").Enter(testing::SampleEnter()).Take();
  EventTranslator translator(AnsiCodePage());
  BSTR text = TranslateEventToBstr(translator, message.data(), message.data() + message.size());
  ASSERT_NE(text, nullptr);
  const std::u16string_view view(reinterpret_cast<const char16_t*>(text), SysStringLen(text));
  EXPECT_EQ(testing::ToUtf8(view), *testing::Translate(message));
  SysFreeString(text);

  EXPECT_EQ(TranslateEventToBstr(translator, message.data(), message.data() + 76), nullptr);
}

TEST(AnsiCodePage, Windows1252MatchesTheBuiltInTable) {
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page is " << GetACP();
  const NarrowCodePage& ansi = AnsiCodePage();
  ASSERT_NE(ansi.table, nullptr);
  for (unsigned b = 1; b < 256; ++b) EXPECT_EQ(ansi.table[b], Windows1252CodePage().table[b]) << std::hex << b;
}

TEST(AnsiCodePage, ConvertsEveryByteAsMultiByteToWideChar) {
  const NarrowCodePage& ansi = AnsiCodePage();
  char bytes[255];
  for (unsigned b = 1; b < 256; ++b) bytes[b - 1] = static_cast<char>(b);
  char16_t viaCodePage[256];
  std::size_t n = 0;
  if (ansi.table) {
    for (char c : bytes) viaCodePage[n++] = ansi.table[static_cast<unsigned char>(c)];
  } else {
    n = static_cast<std::size_t>(ansi.convert(bytes, sizeof bytes, viaCodePage));
  }
  wchar_t direct[256];
  const int units = MultiByteToWideChar(CP_ACP, 0, bytes, sizeof bytes, direct, 256);
  ASSERT_EQ(static_cast<int>(n), units);
  for (int i = 0; i < units; ++i) EXPECT_EQ(viaCodePage[i], static_cast<char16_t>(direct[i])) << i;
}

}  // namespace
}  // namespace quorvel::xlate
