#include "base/bounded_text.h"

#include <cstdio>

char* CopyBounded(char* dst, size_t size, const char* src) {
  if (size == 0) return dst;
  size_t i = 0;
  if (src != nullptr) {
    for (; i + 1 < size && src[i] != '\0'; ++i) dst[i] = src[i];
  }
  dst[i] = '\0';
  return dst;
}

char* FormatBoundedV(char* dst, size_t size, const char* format, va_list args) {
  if (size == 0) return dst;
  int n = std::vsnprintf(dst, size, format, args);
  if (n < 0) dst[0] = '\0';
  return dst;
}

char* FormatBounded(char* dst, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  FormatBoundedV(dst, size, format, args);
  va_end(args);
  return dst;
}
