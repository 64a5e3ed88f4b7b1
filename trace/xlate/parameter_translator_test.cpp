// Golden vectors for parameter entries: type resolution with the pointer rules, single
// values, the array-presence rule, array elements, odd sizes and cut blocks.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstring>

#include "trace/xlate/event_translator.h"
#include "trace/xlate/xlate_test_support.h"

namespace quorvel::xlate {
namespace {

using testing::SampleEnter;
using testing::SampleExit;

struct Section {
  std::string paramCount;
  std::string parameters;  // between "</Method>" and "</Message>"
};

Section Parameters(const std::vector<std::uint8_t>& message) {
  const auto text = testing::Translate(message);
  if (!text) return {"<no output>", ""};
  const std::size_t count = text->find("ParamCount=\"") + 12;
  const std::size_t method = text->find("</Method>") + 9;
  return {text->substr(count, text->find('"', count) - count),
          text->substr(method, text->size() - method - std::string_view("</Message>").size())};
}

TraceMessageBuilder Enter() { return std::move(TraceMessageBuilder("VISA").Enter(SampleEnter())); }
TraceMessageBuilder Exit() { return std::move(TraceMessageBuilder("VISA").Exit(SampleExit())); }

std::string One(std::string_view opening, std::string_view body) {
  return "<Parameters><Parameter Name=\"p\"" + std::string(opening) + std::string(body) + "</Parameter></Parameters>";
}

constexpr char kIn[] = " RetVal=\"False\" InParam=\"True\" OutParam=\"False\"";
constexpr char kOut[] = " RetVal=\"False\" InParam=\"False\" OutParam=\"True\"";
constexpr char kNone[] = " RetVal=\"False\" InParam=\"False\" OutParam=\"False\"";

TEST(TranslateParameters, NoEntryGivesNoSection) {
  for (std::size_t extra : {0u, 1u, 154u}) {
    const auto message = Enter().Raw(std::vector<std::uint8_t>(extra, 0x41)).Take();
    const Section s = Parameters(message);
    EXPECT_EQ(s.paramCount, "0") << extra;
    EXPECT_EQ(s.parameters, "") << extra;
  }
}

TEST(TranslateParameters, DirectionFlags) {
  struct Case {
    std::uint8_t flags;
    std::string_view opening;
  } cases[] = {
      {0x00, kNone},
      {0x20, kIn},
      {0x40, kOut},
      {0x80, " RetVal=\"True\" InParam=\"False\" OutParam=\"True\""},
      {0xE0, " RetVal=\"True\" InParam=\"True\" OutParam=\"True\""},
  };
  for (const Case& c : cases) {
    const auto message = Enter().Param({.name = "p", .flags = c.flags, .valueSize = 4, .value = 7}).Take();
    EXPECT_EQ(Parameters(message).parameters,
              One(c.opening, " ParamType=\"uint32\"><Element Value=\"7\"/>"))
        << int{c.flags};
  }
}

TEST(TranslateParameters, SingleValueTypeResolution) {
  struct Case {
    std::uint8_t flags;
    std::uint8_t size;
    std::uint32_t pointer;
    std::uint64_t value;
    std::string_view type, value_text;
  } cases[] = {
      {0x21, 4, 0, 0xFFFFFFFF, "int32", "-1"},
      {0x20, 4, 0, 0xFFFFFFFF, "uint32", "4294967295"},
      {0x20, 1, 0, 0x1FF, "uint8", "255"},
      {0x21, 1, 0, 0x80, "int8", "-128"},
      {0x20, 2, 0, 0x18000, "uint16", "32768"},
      {0x21, 2, 0, 0x8000, "int16", "-32768"},
      {0x29, 4, 0, std::bit_cast<std::uint32_t>(1.5f), "float32", "1.5"},
      {0x29, 4, 0, std::bit_cast<std::uint32_t>(0.1f), "float32", "0.1"},
      {0x29, 4, 0, std::bit_cast<std::uint32_t>(1e10f), "float32", "1e+010"},
      {0x28, 4, 0, std::bit_cast<std::uint32_t>(1.5f), "uint32", "1069547520"},  // float flag alone: unsigned
      {0x29, 8, 0, std::bit_cast<std::uint64_t>(-2.5e-7), "float64", "-2.5e-007"},
      {0x29, 8, 0, std::bit_cast<std::uint64_t>(123456789.0), "float64", "1.23457e+008"},
      {0x29, 2, 0, 1, "", "UNDEFINED"},
      {0x29, 1, 0, 1, "", "UNDEFINED"},
      {0x20, 8, 0, 0x1122334455667788, "uint8", "136"},  // unsigned 8 bytes: first byte only
      {0x21, 8, 0, 5, "", "UNDEFINED"},
      {0x20, 3, 0, 5, "uint8", "UNDEFINED"},
      {0x21, 0, 0, 5, "", "UNDEFINED"},
      {0x29, 5, 0, 5, "", "UNDEFINED"},
      // Pointers: a zero pointer value is always shown as a pointer.
      {0x22, 4, 0, 9, "pointer32", "0x0"},
      {0x63, 4, 0, 9, "pointer32", "0x0"},
      // Out parameter passed by address, toggle clear: shown by value.
      {0x42, 4, 0x12FE40, 9, "uint32", "9"},
      // The same with the toggle set: shown as a pointer.
      {0x52, 4, 0x12FE40, 9, "pointer32", "0x12fe40"},
      // In parameter by address with the toggle set: by value; without Out: a pointer.
      {0x72, 4, 0x12FE40, 9, "uint32", "9"},
      {0x32, 2, 0xFFFFFFFF, 9, "uint16", "9"},
      {0x22, 4, 0xFFFFFFFF, 9, "pointer32", "0xffffffff"},
      {0x02, 1, 0xABC, 9, "pointer32", "0xabc"},
      {0x12, 1, 0xABC, 9, "pointer32", "0xabc"},
  };
  for (const Case& c : cases) {
    const auto message =
        Enter().Param({.name = "p", .flags = c.flags, .valueSize = c.size, .pointer = c.pointer, .value = c.value})
            .Take();
    const std::string body =
        " ParamType=\"" + std::string(c.type) + "\"><Element Value=\"" + std::string(c.value_text) + "\"/>";
    const Section s = Parameters(message);
    EXPECT_EQ(s.paramCount, "1");
    const std::size_t at = s.parameters.find(" ParamType=");
    ASSERT_NE(at, std::string::npos) << s.parameters;
    EXPECT_EQ(s.parameters.substr(at), body + "</Parameter></Parameters>")
        << "flags " << std::hex << int{c.flags} << " size " << std::dec << int{c.size};
  }
}

TEST(TranslateParameters, ArrayPresenceOnEnterAndExit) {
  struct Case {
    std::uint8_t flags;
    bool onEnter, onExit;
  } cases[] = {
      {0x24, true, true},    // In array by value
      {0x26, true, false},   // In array by address: shown on enter only
      {0x46, false, true},   // Out array by address: shown on exit only
      {0x86, false, true},   // return value counts as Out
      {0x66, true, true},    // In and Out by address: both
      {0x06, true, true},    // neither In nor Out
      {0x44, true, true},    // Out array by value
      {0x20, false, false},  // not an array
  };
  const std::vector<std::uint8_t> data = {1, 2};
  for (const Case& c : cases) {
    for (bool isEnter : {true, false}) {
      auto builder = isEnter ? Enter() : Exit();
      builder.Param({.name = "p", .flags = c.flags, .valueSize = 4, .pointer = 0x1000, .value = 3});
      const bool expected = isEnter ? c.onEnter : c.onExit;
      EXPECT_EQ(HasArrayBlock(c.flags, isEnter), expected) << std::hex << int{c.flags} << " " << isEnter;
      if (expected) builder.ArrayBlock(1, data);
      const Section s = Parameters(builder.Take());
      EXPECT_EQ(s.paramCount, "1");
      EXPECT_EQ(s.parameters.find("ParamType=\"array_") != std::string::npos, expected) << s.parameters;
    }
  }
}

TEST(TranslateParameters, PointerArrayOnEnterIsUndefinedAndOnExitASinglePointer) {
  const std::vector<std::uint8_t> data = {1, 2, 3, 4, 5, 6, 7, 8};
  const auto enter =
      Enter().Param({.name = "p", .flags = 0x26, .valueSize = 4, .pointer = 0x10}).ArrayBlock(4, data).Take();
  EXPECT_EQ(Parameters(enter).parameters,
            One(kIn, " ParamType=\"array_pointer32\"><Element Value=\"UNDEFINED\"/><Element Value=\"UNDEFINED\"/>"));
  const auto exit = Exit().Param({.name = "p", .flags = 0x26, .valueSize = 4, .pointer = 0x10}).Take();
  EXPECT_EQ(Parameters(exit).parameters, One(kIn, " ParamType=\"pointer32\"><Element Value=\"0x10\"/>"));
}

TEST(TranslateParameters, ArrayElements) {
  auto le = [](std::initializer_list<std::uint8_t> bytes) { return std::vector<std::uint8_t>(bytes); };
  const float f1 = 1.5f, f2 = -0.001f;
  std::vector<std::uint8_t> floats(8);
  std::memcpy(floats.data(), &f1, 4);
  std::memcpy(floats.data() + 4, &f2, 4);
  const double d = 6.02214076e23;
  std::vector<std::uint8_t> doubles(8);
  std::memcpy(doubles.data(), &d, 8);

  struct Case {
    std::string_view name;
    std::uint8_t flags;
    std::uint16_t elementSize;
    std::vector<std::uint8_t> data;
    std::string_view body;
  } cases[] = {
      {"bytes", 0x24, 1, le({0x2A, 0x49, 0x44, 0x4E, 0x3F, 0x0A}),
       " ParamType=\"array_uint8\"><Element BinHexValue=\"2a49444e3f0a\"/>"},
      {"signed bytes", 0x25, 1, le({0xFF, 0x00}), " ParamType=\"array_int8\"><Element BinHexValue=\"ff00\"/>"},
      {"empty bytes", 0x24, 1, {}, " ParamType=\"array_uint8\"><Element BinHexValue=\"\"/>"},
      {"int16 with a spare byte", 0x25, 2, le({0xFD, 0xFF, 0x07, 0x00, 0x99}),
       " ParamType=\"array_int16\"><Element Value=\"-3\"/><Element Value=\"7\"/>"},
      {"uint16", 0x24, 2, le({0xFF, 0xFF}), " ParamType=\"array_uint16\"><Element Value=\"65535\"/>"},
      {"uint32", 0x24, 4, le({1, 0, 0, 0x80}), " ParamType=\"array_uint32\"><Element Value=\"2147483649\"/>"},
      {"int32", 0x25, 4, le({1, 0, 0, 0x80}), " ParamType=\"array_int32\"><Element Value=\"-2147483647\"/>"},
      {"empty int32", 0x25, 4, {}, " ParamType=\"array_int32\">"},
      {"float32", 0x29 | 0x04, 4, floats,
       " ParamType=\"array_float32\"><Element Value=\"1.5\"/><Element Value=\"-0.001\"/>"},
      {"float64", 0x2D, 8, doubles, " ParamType=\"array_float64\"><Element Value=\"6.02214e+023\"/>"},
      {"unsigned size 8: first byte of each", 0x24, 8,
       le({0x11, 1, 1, 1, 1, 1, 1, 1, 0x22, 2, 2, 2, 2, 2, 2, 2, 0x33}),
       " ParamType=\"array_uint8\"><Element BinHexValue=\"1122\"/>"},
      {"signed size 8: none", 0x25, 8, le({1, 2, 3, 4, 5, 6, 7, 8}),
       " ParamType=\"array_\"><Element Value=\"UNDEFINED\"/>"},
      {"float size 2: none", 0x2D, 2, le({1, 2, 3, 4}),
       " ParamType=\"array_\"><Element Value=\"UNDEFINED\"/><Element Value=\"UNDEFINED\"/>"},
      {"unsigned odd size: every byte", 0x24, 3, le({1, 2, 3, 4, 5, 6, 0xF7}),
       " ParamType=\"array_uint8\"><Element BinHexValue=\"010203040506f7\"/>"},
      {"signed odd size: every byte, no name", 0x25, 3, le({1, 2, 3, 4, 5, 6, 0xF7}),
       " ParamType=\"array_\"><Element BinHexValue=\"010203040506f7\"/>"},
      {"size 0 is odd: every byte", 0x24, 0, le({0xAB, 0xCD}),
       " ParamType=\"array_uint8\"><Element BinHexValue=\"abcd\"/>"},
      {"pointer size 0: no element", 0x26, 0, le({0xAB, 0xCD}), " ParamType=\"array_pointer32\">"},
  };
  for (Case& c : cases) {
    const std::string body(c.body);
    const auto message = Enter()
                             .Param({.name = "p", .flags = c.flags, .valueSize = 4, .pointer = 0x10})
                             .ArrayBlock(c.elementSize, c.data)
                             .Take();
    const Section s = Parameters(message);
    const std::size_t at = s.parameters.find(" ParamType=");
    ASSERT_NE(at, std::string::npos) << c.name;
    EXPECT_EQ(s.parameters.substr(at), body + "</Parameter></Parameters>") << c.name;
  }
}

TEST(TranslateParameters, LongByteArraysGiveEveryByteInHex) {
  for (std::size_t length : {15u, 16u, 17u, 256u, 1000u}) {
    std::vector<std::uint8_t> data(length);
    std::string hex;
    for (std::size_t i = 0; i < length; ++i) {
      data[i] = static_cast<std::uint8_t>(i * 7 + 3);
      char pair[3];
      std::snprintf(pair, sizeof pair, "%02x", data[i]);
      hex += pair;
    }
    const auto message = Enter().Param({.name = "p", .flags = 0x24, .valueSize = 1}).ArrayBlock(1, data).Take();
    EXPECT_EQ(Parameters(message).parameters,
              One(kIn, " ParamType=\"array_uint8\"><Element BinHexValue=\"" + hex + "\"/>"))
        << length;
  }
}

TEST(TranslateParameters, CutArrayBlocksAreCountedButNotWritten) {
  const auto first = [] {
    return Enter()
        .Param({.name = "a", .flags = 0x20, .valueSize = 1, .value = 5})
        .Param({.name = "b", .flags = 0x24, .valueSize = 1});
  };
  const std::string firstText =
      "<Parameters><Parameter Name=\"a\"" + std::string(kIn) +
      " ParamType=\"uint8\"><Element Value=\"5\"/></Parameter>";

  // Header cut: 18 of its 19 bytes.
  const auto headerCut = first().Raw(std::vector<std::uint8_t>(18, 0)).Take();
  EXPECT_EQ(Parameters(headerCut).paramCount, "2");
  EXPECT_EQ(Parameters(headerCut).parameters, firstText + "</Parameters>");

  // Data cut: claims 4 bytes, holds 3.
  const auto dataCut = first().ArrayBlockClaiming(1, 4, std::vector<std::uint8_t>{1, 2, 3}).Take();
  EXPECT_EQ(Parameters(dataCut).paramCount, "2");
  EXPECT_EQ(Parameters(dataCut).parameters, firstText + "</Parameters>");

  // Claims more than the rest of the message: the entry after it is never reached.
  const auto pastNext =
      first().ArrayBlockClaiming(1, 156, {}).Param({.name = "c", .flags = 0x20, .valueSize = 1}).Take();
  EXPECT_EQ(Parameters(pastNext).paramCount, "2");
  EXPECT_EQ(Parameters(pastNext).parameters, firstText + "</Parameters>");

  // A huge claimed length never wraps the bounds check.
  const auto huge = first().ArrayBlockClaiming(1, 0xFFFFFFFF, std::vector<std::uint8_t>(200, 1)).Take();
  EXPECT_EQ(Parameters(huge).paramCount, "2");

  // Exactly fitting data is written, and the entry after it is read.
  const auto exact = first()
                         .ArrayBlock(1, std::vector<std::uint8_t>{1, 2, 3, 4})
                         .Param({.name = "c", .flags = 0x20, .valueSize = 1})
                         .Take();
  EXPECT_EQ(Parameters(exact).paramCount, "3");
  EXPECT_NE(Parameters(exact).parameters.find("BinHexValue=\"01020304\"/></Parameter><Parameter Name=\"c\""),
            std::string::npos);
}

TEST(TranslateParameters, NamesAreWrittenUnescapedAndToFullWidth) {
  const std::string longName(130, 'n');
  const auto message = Enter()
                           .Param({.name = "<a&\">", .flags = 0x20, .valueSize = 1})
                           .Param({.name = longName, .flags = 0x20, .valueSize = 1})
                           .Take();
  const Section s = Parameters(message);
  EXPECT_NE(s.parameters.find("<Parameter Name=\"<a&\">\" RetVal="), std::string::npos) << s.parameters;
  EXPECT_NE(s.parameters.find("<Parameter Name=\"" + longName.substr(0, 128) + "\" RetVal="), std::string::npos);
}

TEST(TranslateParameters, ExitRecordCarriesCountAndSection) {
  const auto message = Exit()
                           .Param({.name = "vi", .flags = 0x20, .valueSize = 4, .value = 1})
                           .Param({.name = "ret", .flags = 0x81, .valueSize = 4, .value = 0})
                           .Take();
  const auto text = testing::Translate(message);
  ASSERT_TRUE(text);
  EXPECT_NE(text->find("ParamCount=\"2\" HRESULT=\"0\"/></Method><Parameters><Parameter Name=\"vi\""),
            std::string::npos)
      << *text;
  EXPECT_NE(text->find("<Parameter Name=\"ret\" RetVal=\"True\" InParam=\"False\" OutParam=\"True\" "
                       "ParamType=\"int32\"><Element Value=\"0\"/></Parameter></Parameters></Message>"),
            std::string::npos)
      << *text;
}

}  // namespace
}  // namespace quorvel::xlate
