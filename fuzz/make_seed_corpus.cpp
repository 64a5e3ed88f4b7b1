// Writes the seed corpus of the fuzz target: one file per kind of message the libraries
// post, plus the boundary cases. Run once after changing it and check the files in:
//   g++ -std=c++20 -I. fuzz/make_seed_corpus.cpp support/trace_record_builder.cpp -o /tmp/seeds
//   /tmp/seeds fuzz/corpus
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "support/trace_record_builder.h"

using namespace quorvel::xlate;

namespace {

MethodEnterFields Enter(const char* method) {
  return {.processId = 988, .threadId = 412, .appName = "demo.exe", .methodName = method,
          .address = "GPIB0::7::INSTR", .timestamp = 1718000000123456789};
}

MethodExitFields Exit(std::int32_t status, std::int64_t elapsed) {
  return {.processId = 988, .threadId = 412, .elapsedNs = elapsed, .status = status, .address = "GPIB0::7::INSTR",
          .timestamp = 1718000000123556789};
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint8_t first) {
  std::vector<std::uint8_t> data(n);
  for (std::size_t i = 0; i < n; ++i) data[i] = static_cast<std::uint8_t>(first + i);
  return data;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string dir = argc > 1 ? argv[1] : ".";
  const auto save = [&](const char* name, const TraceMessageBuilder& builder) {
    if (!std::ofstream(dir + "/" + name, std::ios::binary)
             .write(reinterpret_cast<const char*>(builder.Bytes().data()),
                    static_cast<std::streamsize>(builder.Bytes().size())))
      std::fprintf(stderr, "cannot write %s/%s\n", dir.c_str(), name);
  };
  save("enter_no_params", TraceMessageBuilder("VISA").Enter(Enter("viClear")));
  save("enter_viwrite", TraceMessageBuilder("VISA")
                            .Enter(Enter("viWrite"))
                            .Param({.name = "vi", .flags = kParamIn, .valueSize = 4, .value = 1})
                            .Param({.name = "buf", .flags = kParamIn | kParamPointer | kParamArray, .valueSize = 4,
                                    .pointer = 0x12FE40})
                            .ArrayBlock(1, Bytes(64, 0x20))
                            .Param({.name = "retCount", .flags = kParamOut | kParamPointer, .valueSize = 4,
                                    .pointer = 0x12FE00}));
  save("exit_viread", TraceMessageBuilder("VISA")
                          .Exit(Exit(0, 2500000))
                          .Param({.name = "buf", .flags = kParamOut | kParamPointer | kParamArray, .valueSize = 4,
                                  .pointer = 0x12FE40})
                          .ArrayBlock(1, Bytes(100, 0))
                          .Param({.name = "retCount", .flags = kParamOut | kParamPointer, .valueSize = 4,
                                  .pointer = 0x12FE00, .value = 100}));
  save("enter_scalars", TraceMessageBuilder("TRIL")
                            .Enter(Enter("tlSetup"))
                            .Param({.name = "u8", .flags = 0x20, .valueSize = 1, .value = 200})
                            .Param({.name = "i16", .flags = 0x21, .valueSize = 2, .value = 0x8001})
                            .Param({.name = "u32", .flags = 0x20, .valueSize = 4, .value = 0xFFFFFFFF})
                            .Param({.name = "i32", .flags = 0x21, .valueSize = 4, .value = 0x80000000})
                            .Param({.name = "f32", .flags = 0x29, .valueSize = 4, .value = 0x3FC00000})
                            .Param({.name = "f64", .flags = 0x29, .valueSize = 8, .value = 0x3FB999999999999A})
                            .Param({.name = "odd", .flags = 0x21, .valueSize = 3, .value = 7})
                            .Param({.name = "ptr", .flags = 0x52, .valueSize = 4, .pointer = 0xBEEF}));
  save("exit_float_array", TraceMessageBuilder("TRIL_B")
                               .Exit(Exit(static_cast<std::int32_t>(0xBFFF0011u), 1234567))
                               .Param({.name = "samples", .flags = 0x4D, .valueSize = 4, .pointer = 0x1000})
                               .ArrayBlock(4, Bytes(32, 0x3C))
                               .Param({.name = "wide", .flags = 0x25, .valueSize = 2})
                               .ArrayBlock(3, Bytes(7, 1)));
  save("escapes_and_full_fields",
       TraceMessageBuilder("K&<\"'>")
           .Enter({.processId = 1, .threadId = 2, .appName = std::string(65, '\x80'),
                   .methodName = std::string(64, '&'), .address = std::string(64, '"'), .timestamp = -1})
           .Param({.name = std::string(128, '<'), .flags = 0x80, .valueSize = 8, .value = 1}));
  save("cut_array_block", TraceMessageBuilder("VISA")
                              .Enter(Enter("viWrite"))
                              .Param({.name = "buf", .flags = 0x24, .valueSize = 1})
                              .ArrayBlockClaiming(1, 1000, Bytes(10, 0)));
  save("header_only", TraceMessageBuilder("VISA"));
  return 0;
}
