#pragma once
// Test seams of the NKO client. The definition needs the client's private state and
// stays in kobj/nko_client.cpp, in its marked seam block.

namespace kobj_testing {
// Makes the next request count as the first one of the process again.
void ResetFirstRequest();
}  // namespace kobj_testing
