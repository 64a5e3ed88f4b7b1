#pragma once
// The one way the program ignores a result on purpose. Where the reason is not obvious
// from the call, a comment beside it says why nothing is done on failure.
//
//   IgnoreResult(SetEvent(stop));  // the waiter also gives up on its own time-out

template <typename T>
constexpr void IgnoreResult(const T&) noexcept {}
