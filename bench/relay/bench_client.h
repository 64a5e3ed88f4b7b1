// The benchmark's client side, run as a process of its own as an instrument library
// would be: it posts one record kind over and over on an event pipe and waits for each
// reply, then prints one result line that the benchmark reads back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "bench/relay/bench_records.h"

struct ClientResult {
  int64_t sent = 0;    // timed exchanges (the warm-up not counted)
  int64_t acked = 0;   // of all exchanges, warm-up included
  int64_t nacked = 0;
  int64_t unanswered = 0;
  int64_t elapsedNs = 0;  // of the timed exchanges
};

// Opens the pipe, makes warmup untimed and then count timed exchanges, prints the result
// line; 0 when every exchange was answered "ack", 1 otherwise, 2 without a pipe.
int RunClient(const std::string& pipeName, RecordKind kind, int64_t warmup, int64_t count);

std::string FormatClientResult(const ClientResult& result);
// The result line in a client's output; nothing when there is none.
std::optional<ClientResult> ParseClientResult(const std::string& output);
