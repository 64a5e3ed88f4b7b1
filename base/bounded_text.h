#pragma once
// Bounded text into fixed-size buffers: the one place where the program copies and formats
// text into the buffers whose sizes the system fixes. Both always terminate the output
// (when size > 0) and never write past it; longer text is cut.
#include <cstdarg>
#include <cstddef>

// Copies src into dst (size bytes with the NUL); a null src gives an empty text.
// Returns dst.
char* CopyBounded(char* dst, size_t size, const char* src);

// printf-style format into dst (size bytes with the NUL). Returns dst.
char* FormatBounded(char* dst, size_t size, const char* format, ...)
    __attribute__((format(gnu_printf, 3, 4)));
char* FormatBoundedV(char* dst, size_t size, const char* format, va_list args);
