// The Windows adapter: the ANSI code page.
#include <gtest/gtest.h>

#include "trace/xlate/event_translator_win32.h"
#include "trace/xlate/testing/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

// The relay's translator: the text as the golden code page gives it, followed by the NUL
// that ends it on the viewer's pipe; a bare header gives nothing.
TEST(AnsiCodePage, TranslatorGivesTextEndedByNulOrNothing) {
  const auto message = testing::Enter().Take();
  EventTranslator translator(AnsiCodePage());
  const auto text = translator.TranslateEvent(message.data(), message.data() + message.size());
  ASSERT_TRUE(text.has_value());
  EXPECT_EQ(testing::ToUtf8(*text), testing::Translate(message));
  EXPECT_EQ(text->data()[text->size()], u'\0');
  EXPECT_FALSE(translator.TranslateEvent(message.data(), message.data() + 76).has_value());
}

// Every byte through the ANSI code page (its table, or its converter for multi-byte
// code pages) as MultiByteToWideChar converts it, and under 1252 as the built-in table.
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
  if (GetACP() != 1252) return;
  ASSERT_NE(ansi.table, nullptr);
  for (unsigned b = 1; b < 256; ++b) EXPECT_EQ(ansi.table[b], Windows1252CodePage().table[b]) << std::hex << b;
}

}  // namespace
}  // namespace quorvel::xlate
