// What one write of a translated message to a named pipe costs under this system with
// nobody doing anything with the text: an inbound pipe shaped like the viewer's (1 MiB
// buffer, read in 64 KiB chunks) drained by a thread of this process. It tells the cost
// of moving the bytes apart from what the viewer does with them.
#pragma once

#include <cstdint>

// Microseconds per write of bytes bytes, over count writes; negative when the pipe could
// not be set up or a write failed.
double PipeWriteUs(uint32_t bytes, int64_t count);
