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

using testing::Enter;
using testing::Exit;
using Bytes = std::vector<std::uint8_t>;

struct Section {
  std::string paramCount;
  std::string parameters;  // between "</Method>" and "</Message>"
};

Section Parameters(const Bytes& message) {
  const auto text = testing::Translate(message);
  if (!text) return {"<no output>", ""};
  const std::size_t count = text->find("ParamCount=\"") + 12;
  const std::size_t method = text->find("</Method>") + 9;
  return {text->substr(count, text->find('"', count) - count),
          text->substr(method, text->size() - method - std::string_view("</Message>").size())};
}

// The only parameter from its type on, or its whole section if it has no type.
std::string TypeOnward(const Bytes& message) {
  const std::string section = Parameters(message).parameters;
  const std::size_t at = section.find(" ParamType=");
  return at == std::string::npos ? section : section.substr(at);
}

// The little-endian bytes of each value in turn.
template <typename... T>
Bytes LittleEndian(T... values) {
  Bytes bytes;
  ((bytes.resize(bytes.size() + sizeof values), std::memcpy(bytes.data() + bytes.size() - sizeof values, &values,
                                                            sizeof values)),
   ...);
  return bytes;
}

constexpr char kIn[] = " RetVal=\"False\" InParam=\"True\" OutParam=\"False\"";

TEST(TranslateParameters, NoEntryGivesNoSectionAndDirectionFlagsAreShown) {
  for (std::size_t extra : {0u, 1u, 154u}) {
    const Section s = Parameters(Enter().Raw(Bytes(extra, 0x41)).Take());
    EXPECT_EQ(s.paramCount + s.parameters, "0") << extra;
  }
  const std::pair<std::uint8_t, std::string_view> cases[] = {
      {0x00, "False\" InParam=\"False\" OutParam=\"False"}, {0x20, "False\" InParam=\"True\" OutParam=\"False"},
      {0x40, "False\" InParam=\"False\" OutParam=\"True"},  {0x80, "True\" InParam=\"False\" OutParam=\"True"},
      {0xE0, "True\" InParam=\"True\" OutParam=\"True"},
  };
  for (const auto& [flags, opening] : cases) {
    EXPECT_EQ(Parameters(Enter().Param({.name = "p", .flags = flags, .valueSize = 4, .value = 7}).Take()).parameters,
              "<Parameters><Parameter Name=\"p\" RetVal=\"" + std::string(opening) +
                  "\" ParamType=\"uint32\"><Element Value=\"7\"/></Parameter></Parameters>")
        << int{flags};
  }
}

TEST(TranslateParameters, SingleValueTypeResolution) {
  struct Case {
    std::uint8_t flags, size;
    std::uint32_t pointer;
    std::uint64_t value;
    std::string_view type, value_text;
  } cases[] = {
      {0x21, 4, 0, 0xFFFFFFFF, "int32", "-1"},      {0x20, 4, 0, 0xFFFFFFFF, "uint32", "4294967295"},
      {0x20, 1, 0, 0x1FF, "uint8", "255"},          {0x21, 1, 0, 0x80, "int8", "-128"},
      {0x20, 2, 0, 0x18000, "uint16", "32768"},     {0x21, 2, 0, 0x8000, "int16", "-32768"},
      {0x29, 4, 0, std::bit_cast<std::uint32_t>(1.5f), "float32", "1.5"},
      {0x29, 4, 0, std::bit_cast<std::uint32_t>(0.1f), "float32", "0.1"},
      {0x29, 4, 0, std::bit_cast<std::uint32_t>(1e10f), "float32", "1e+010"},
      {0x28, 4, 0, std::bit_cast<std::uint32_t>(1.5f), "uint32", "1069547520"},  // float flag alone: unsigned
      {0x29, 8, 0, std::bit_cast<std::uint64_t>(-2.5e-7), "float64", "-2.5e-007"},
      {0x29, 8, 0, std::bit_cast<std::uint64_t>(123456789.0), "float64", "1.23457e+008"},
      {0x20, 8, 0, 0x1122334455667788, "uint8", "136"},  // unsigned 8 bytes: first byte only
      {0x29, 2, 0, 1, "", "UNDEFINED"},  {0x29, 1, 0, 1, "", "UNDEFINED"},       {0x21, 8, 0, 5, "", "UNDEFINED"},
      {0x21, 0, 0, 5, "", "UNDEFINED"},  {0x29, 5, 0, 5, "", "UNDEFINED"},       {0x20, 3, 0, 5, "uint8", "UNDEFINED"},
      // Pointers: a zero pointer value is always shown as a pointer.
      {0x22, 4, 0, 9, "pointer32", "0x0"},             {0x63, 4, 0, 9, "pointer32", "0x0"},
      // Out by address: by value with the toggle clear, a pointer with it set.
      {0x42, 4, 0x12FE40, 9, "uint32", "9"},           {0x52, 4, 0x12FE40, 9, "pointer32", "0x12fe40"},
      // In by address: by value with the toggle set, a pointer without it (or without In and Out).
      {0x72, 4, 0x12FE40, 9, "uint32", "9"},           {0x32, 2, 0xFFFFFFFF, 9, "uint16", "9"},
      {0x22, 4, 0xFFFFFFFF, 9, "pointer32", "0xffffffff"},
      {0x02, 1, 0xABC, 9, "pointer32", "0xabc"},       {0x12, 1, 0xABC, 9, "pointer32", "0xabc"},
  };
  for (const Case& c : cases) {
    const auto message =
        Enter().Param({.name = "p", .flags = c.flags, .valueSize = c.size, .pointer = c.pointer, .value = c.value})
            .Take();
    EXPECT_EQ(TypeOnward(message), " ParamType=\"" + std::string(c.type) + "\"><Element Value=\"" +
                                       std::string(c.value_text) + "\"/></Parameter></Parameters>")
        << "flags " << std::hex << int{c.flags} << " size " << std::dec << int{c.size};
  }
}

TEST(TranslateParameters, ArrayPresenceOnEnterAndExit) {
  struct Case {
    std::uint8_t flags;
    bool onEnter, onExit;
  } cases[] = {
      // By value (or neither In nor Out): on both; by address: where its direction is, a
      // return value counting as Out.
      {0x24, true, true},  {0x44, true, true},  {0x06, true, true},   {0x26, true, false},
      {0x46, false, true}, {0x86, false, true}, {0x66, true, true},   {0x20, false, false},
  };
  for (const Case& c : cases) {
    for (bool isEnter : {true, false}) {
      auto builder = isEnter ? Enter() : Exit();
      builder.Param({.name = "p", .flags = c.flags, .valueSize = 4, .pointer = 0x1000, .value = 3});
      const bool expected = isEnter ? c.onEnter : c.onExit;
      EXPECT_EQ(HasArrayBlock(c.flags, isEnter), expected) << std::hex << int{c.flags} << " " << isEnter;
      if (expected) builder.ArrayBlock(1, Bytes{1, 2});
      const Section s = Parameters(builder.Take());
      EXPECT_EQ(s.paramCount, "1");
      EXPECT_EQ(s.parameters.find("ParamType=\"array_") != std::string::npos, expected) << s.parameters;
    }
  }
  // A pointer array shown where it has no block is the single pointer.
  EXPECT_EQ(TypeOnward(Exit().Param({.name = "p", .flags = 0x26, .valueSize = 4, .pointer = 0x10}).Take()),
            " ParamType=\"pointer32\"><Element Value=\"0x10\"/></Parameter></Parameters>");
}

TEST(TranslateParameters, ArrayElements) {
  std::string longBytes, longHex;
  for (int i = 0; i < 1000; ++i) {
    char pair[3];
    std::snprintf(pair, sizeof pair, "%02x", static_cast<std::uint8_t>(i * 7 + 3));
    longBytes += static_cast<char>(i * 7 + 3);
    longHex += pair;
  }
  const std::string undefined = "<Element Value=\"UNDEFINED\"/>";
  struct Case {
    std::uint8_t flags;
    std::uint16_t elementSize;
    Bytes data;
    std::string body;
  } cases[] = {
      {0x24, 1, {0x2A, 0x49, 0x44, 0x4E, 0x3F, 0x0A}, "array_uint8\"><Element BinHexValue=\"2a49444e3f0a\"/>"},
      {0x25, 1, {0xFF, 0x00}, "array_int8\"><Element BinHexValue=\"ff00\"/>"},
      {0x24, 1, {}, "array_uint8\"><Element BinHexValue=\"\"/>"},
      {0x25, 2, {0xFD, 0xFF, 0x07, 0x00, 0x99}, "array_int16\"><Element Value=\"-3\"/><Element Value=\"7\"/>"},
      {0x24, 2, {0xFF, 0xFF}, "array_uint16\"><Element Value=\"65535\"/>"},
      {0x24, 4, {1, 0, 0, 0x80}, "array_uint32\"><Element Value=\"2147483649\"/>"},
      {0x25, 4, {1, 0, 0, 0x80}, "array_int32\"><Element Value=\"-2147483647\"/>"},
      {0x25, 4, {}, "array_int32\">"},
      {0x2D, 4, LittleEndian(1.5f, -0.001f), "array_float32\"><Element Value=\"1.5\"/><Element Value=\"-0.001\"/>"},
      {0x2D, 8, LittleEndian(6.02214076e23), "array_float64\"><Element Value=\"6.02214e+023\"/>"},
      // Unsigned size 8: the first byte of each element; signed size 8 and float size 2: no type.
      {0x24, 8, LittleEndian(0x0101010101010111ull, 0x0202020202020222ull, '3'),
       "array_uint8\"><Element BinHexValue=\"1122\"/>"},
      {0x25, 8, Bytes(8, 1), "array_\">" + undefined},
      {0x2D, 2, {1, 2, 3, 4}, "array_\">" + undefined + undefined},
      // Odd sizes (0 among them) give every byte, unsigned with the type name and signed without.
      {0x24, 3, {1, 2, 3, 4, 5, 6, 0xF7}, "array_uint8\"><Element BinHexValue=\"010203040506f7\"/>"},
      {0x25, 3, {1, 2, 3, 4, 5, 6, 0xF7}, "array_\"><Element BinHexValue=\"010203040506f7\"/>"},
      {0x24, 0, {0xAB, 0xCD}, "array_uint8\"><Element BinHexValue=\"abcd\"/>"},
      // Pointer arrays: no values, and no element at all for size 0.
      {0x26, 4, Bytes(8, 1), "array_pointer32\">" + undefined + undefined},
      {0x26, 0, {0xAB, 0xCD}, "array_pointer32\">"},
  };
  for (const Case& c : cases) {
    auto message = Enter();
    message.Param({.name = "p", .flags = c.flags, .valueSize = 4, .pointer = 0x10}).ArrayBlock(c.elementSize, c.data);
    EXPECT_EQ(TypeOnward(message.Bytes()), " ParamType=\"" + c.body + "</Parameter></Parameters>")
        << std::hex << int{c.flags} << " size " << c.elementSize;
  }
  for (std::size_t length : {15u, 16u, 17u, 256u, 1000u}) {  // every byte in hex, whatever the length
    const Bytes data(longBytes.begin(), longBytes.begin() + static_cast<std::ptrdiff_t>(length));
    EXPECT_EQ(TypeOnward(Enter().Param({.name = "p", .flags = 0x24, .valueSize = 1}).ArrayBlock(1, data).Take()),
              " ParamType=\"array_uint8\"><Element BinHexValue=\"" + longHex.substr(0, 2 * length) +
                  "\"/></Parameter></Parameters>")
        << length;
  }
}

TEST(TranslateParameters, CutArrayBlocksAreCountedButNotWritten) {
  const auto first = [] {
    return Enter()
        .Param({.name = "a", .flags = 0x20, .valueSize = 1, .value = 5})
        .Param({.name = "b", .flags = 0x24, .valueSize = 1});
  };
  const ParamFields third{.name = "c", .flags = 0x20, .valueSize = 1};
  const std::string a = "<Parameters><Parameter Name=\"a\"" + std::string(kIn) +
                        " ParamType=\"uint8\"><Element Value=\"5\"/></Parameter>";
  const struct {
    std::string_view name;
    Bytes message;
    std::string paramCount, parameters;
  } cases[] = {
      {"header cut: 18 of its 19 bytes", first().Raw(Bytes(18, 0)).Take(), "2", a + "</Parameters>"},
      {"data cut: claims 4 bytes, holds 3", first().ArrayBlockClaiming(1, 4, Bytes{1, 2, 3}).Take(), "2",
       a + "</Parameters>"},
      {"claims past the next entry", first().ArrayBlockClaiming(1, 156, {}).Param(third).Take(), "2",
       a + "</Parameters>"},
      {"huge claim never wraps", first().ArrayBlockClaiming(1, 0xFFFFFFFF, Bytes(200, 1)).Take(), "2",
       a + "</Parameters>"},
      {"exact fit", first().ArrayBlock(1, Bytes{1, 2, 3, 4}).Param(third).Take(), "3",
       a + "<Parameter Name=\"b\"" + kIn + " ParamType=\"array_uint8\"><Element BinHexValue=\"01020304\"/>" +
           "</Parameter><Parameter Name=\"c\"" + kIn +
           " ParamType=\"uint8\"><Element Value=\"0\"/></Parameter></Parameters>"},
  };
  for (const auto& c : cases) {
    const Section s = Parameters(c.message);
    EXPECT_EQ(s.paramCount, c.paramCount) << c.name;
    EXPECT_EQ(s.parameters, c.parameters) << c.name;
  }
}

TEST(TranslateParameters, NamesAreWrittenUnescapedAndToFullWidth) {
  const std::string longName(130, 'n');
  const auto message =
      Exit().Param({.name = "<a&\">", .flags = 0x20, .valueSize = 1}).Param({.name = longName, .flags = 0x20}).Take();
  const auto text = testing::Translate(message).value_or("");
  EXPECT_NE(text.find("ParamCount=\"2\" HRESULT=\"0\"/></Method><Parameters><Parameter Name=\"<a&\">\" RetVal="),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("<Parameter Name=\"" + longName.substr(0, 128) + "\" RetVal="), std::string::npos);
}

}  // namespace
}  // namespace quorvel::xlate
