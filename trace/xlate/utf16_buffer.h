// A growable UTF-16 buffer that is reused from message to message: it never shrinks and
// never initialises what it is about to overwrite, so once it has grown to the largest
// message a translation costs no allocation at all.
//
// Writers reserve an upper bound first, write through a raw pointer and commit the end:
//   char16_t* p = out.Reserve(n);  ...  p = WriteX(p, ...);  ...  out.Commit(p);
#pragma once

#include <cassert>
#include <cstddef>
#include <cstring>
#include <memory>
#include <new>
#include <string_view>

namespace quorvel::xlate {

class Utf16Buffer {
 public:
  Utf16Buffer() = default;
  Utf16Buffer(Utf16Buffer&&) noexcept = default;
  Utf16Buffer& operator=(Utf16Buffer&&) noexcept = default;

  void Clear() noexcept { m_size = 0; }
  std::size_t Size() const noexcept { return m_size; }
  std::size_t Capacity() const noexcept { return m_capacity; }
  const char16_t* Data() const noexcept { return m_data.get(); }
  std::u16string_view View() const noexcept { return {m_data.get(), m_size}; }

  // Makes room for extra more units after the current end and returns the write position.
  // Throws std::bad_alloc when memory runs out.
  char16_t* Reserve(std::size_t extra) {
    if (extra > m_capacity - m_size) Grow(extra);
    m_reservedEnd = m_size + extra;
    return m_data.get() + m_size;
  }
  // Ends the text at p, a position inside the last reservation. Checked builds catch a
  // writer that went past what it reserved, even where the capacity would have hidden it.
  void Commit(char16_t* p) noexcept {
    m_size = static_cast<std::size_t>(p - m_data.get());
    assert(m_size <= m_reservedEnd);
  }
  void Truncate(std::size_t size) noexcept {
    if (size < m_size) m_size = size;
  }

 private:
  void Grow(std::size_t extra) {
    if (extra > kMaxUnits - m_size) throw std::bad_alloc();
    std::size_t wanted = m_size + extra;
    std::size_t capacity = m_capacity < 256 ? 256 : m_capacity;
    while (capacity < wanted) capacity = capacity > kMaxUnits / 2 ? kMaxUnits : capacity * 2;
    std::unique_ptr<char16_t[]> data(new char16_t[capacity]);  // not value-initialised
    if (m_size) std::memcpy(data.get(), m_data.get(), m_size * sizeof(char16_t));
    m_data = std::move(data);
    m_capacity = capacity;
  }

  static constexpr std::size_t kMaxUnits = std::size_t{1} << 40;

  std::unique_ptr<char16_t[]> m_data;
  std::size_t m_size = 0;
  std::size_t m_capacity = 0;
  std::size_t m_reservedEnd = 0;
};

// Writes an ASCII literal (the fixed pieces of the XML) as UTF-16.
template <std::size_t N>
inline char16_t* PutAscii(char16_t* p, const char (&text)[N]) noexcept {
  for (std::size_t i = 0; i + 1 < N; ++i) p[i] = static_cast<char16_t>(text[i]);
  return p + (N - 1);
}

inline char16_t* PutAscii(char16_t* p, std::string_view text) noexcept {
  for (char c : text) *p++ = static_cast<char16_t>(static_cast<unsigned char>(c));
  return p;
}

}  // namespace quorvel::xlate
