// Searches of post text for the few signs that matter to the page, sixteen
// bytes at a time. Posts are short and full of signs, so an inline loop is
// cheaper than a library call per sign.
#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace converter::page {

// The first `c` in bytes[from, size), or `size` when there is none.
inline size_t FindByte(const char* bytes, size_t size, size_t from, char c) {
  size_t k = from;
#if defined(__SSE2__)
  const __m128i wanted = _mm_set1_epi8(c);
  auto places = [&](size_t at) {
    __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, wanted)));
  };
  if (size >= 16) {
    for (; k + 16 <= size; k += 16) {
      if (unsigned mask = places(k)) return k + static_cast<size_t>(__builtin_ctz(mask));
    }
    // The last bytes in a block that ends with the text; the places before
    // k in it are done.
    if (k < size) {
      size_t last = size - 16;
      if (unsigned mask = places(last) >> (k - last)) {
        return k + static_cast<size_t>(__builtin_ctz(mask));
      }
      return size;
    }
  }
#endif
  for (; k < size; ++k) {
    if (bytes[k] == c) return k;
  }
  return size;
}

// The first '<' or "://" in bytes[from, size), or `size` when there is none.
// Art posts are full of ':' that begin no address, so the three bytes are
// matched together. Inlined into the loops that call it for every line of
// a post, which then set up the patterns once.
[[gnu::always_inline]] inline size_t FindTagOrAddress(const char* bytes, size_t size, size_t from) {
  size_t k = from;
#if defined(__SSE2__)
  const __m128i less = _mm_set1_epi8('<');
  const __m128i colon = _mm_set1_epi8(':');
  const __m128i slash = _mm_set1_epi8('/');
  // Places in bytes[at, at + 16) that begin a stop (reads up to at + 18).
  auto places = [&](size_t at) {
    const char* p = bytes + at;
    __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
    __m128i scheme =
        _mm_and_si128(_mm_cmpeq_epi8(a, colon),
                      _mm_and_si128(_mm_cmpeq_epi8(b, slash), _mm_cmpeq_epi8(c, slash)));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi8(a, less), scheme)));
  };
  if (size >= 18) {
    for (; k + 18 <= size; k += 16) {
      if (unsigned mask = places(k)) return k + static_cast<size_t>(__builtin_ctz(mask));
    }
    // The last places in a block that ends two bytes before the text does;
    // the places before k in it are done. The last two are looked at below.
    size_t last = size - 18;
    if (k < last + 16) {
      if (unsigned mask = places(last) >> (k - last)) {
        return k + static_cast<size_t>(__builtin_ctz(mask));
      }
      k = last + 16;
    }
  }
#endif
  for (; k < size; ++k) {
    if (bytes[k] == '<') return k;
    if (bytes[k] == ':' && k + 2 < size && bytes[k + 1] == '/' && bytes[k + 2] == '/') return k;
  }
  return size;
}

}  // namespace converter::page
