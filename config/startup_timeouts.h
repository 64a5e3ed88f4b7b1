#pragma once
// The two start-up time-outs. They are read once, during static initialisation (before
// the entry function runs and before any other thread exists), and kept for the life of
// the process; the start-up waits for the suite service use them.

inline constexpr int kDefaultStartupTimeoutMs = 240000;
inline constexpr int kDefaultNkoStartupTimeoutMs = 120000;

// "QuorvelStartupTimeoutMilliseconds" of the suite key (opened with full access), honoured
// only as decimal text (read like atoi whatever the stored type); a result below 1, or
// nothing readable, gives defaultMs.
int GetStartupTimeoutMs(int defaultMs);
// "NkoStartupTimeoutMilliseconds" through ReadSuiteDword (REG_SZ, REG_DWORD or
// REG_BINARY); defaultMs when unreadable.
int GetNkoStartupTimeoutMs(int defaultMs);

// The values read at process start: GetStartupTimeoutMs(kDefaultStartupTimeoutMs) and
// GetNkoStartupTimeoutMs(kDefaultNkoStartupTimeoutMs). Safe to call from any static
// initialiser too: the first call reads, later calls return the same number.
int GetProcessStartupTimeoutMs();
int GetProcessNkoStartupTimeoutMs();
