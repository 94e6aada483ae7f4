#include "converter/page/byte_search.h"

#include <gtest/gtest.h>

#include <string>

namespace converter::page {
namespace {

size_t PlainFind(const std::string& s, size_t from) {
  for (size_t k = from; k < s.size(); ++k) {
    if (s[k] == '<' || s.compare(k, 3, "://") == 0) return k;
  }
  return s.size();
}

// Blocks of sixteen and the last, overlapping block: every length, every
// place of the sign, every starting point, with near misses (":/", ":")
// around it.
TEST(ByteSearch, FindsTheFirstSignFromEveryPlace) {
  for (size_t size = 0; size <= 70; ++size) {
    for (size_t place = 0; place <= size; ++place) {
      for (const char* sign : {"<", "://"}) {
        std::string text(size, 'a');
        for (size_t k = 0; k < size; k += 3) text[k] = ':';
        if (size >= 2) text[size - 2] = ':';
        if (size >= 1) text[size - 1] = '/';
        text.replace(place, std::string(sign).size(), sign);
        text.resize(size);
        for (size_t from = 0; from <= size; ++from) {
          ASSERT_EQ(FindTagOrAddress(text.data(), text.size(), from), PlainFind(text, from))
              << text << " from " << from;
          size_t less = text.find('<', from);
          ASSERT_EQ(FindByte(text.data(), text.size(), from, '<'),
                    less == std::string::npos ? size : less)
              << text << " from " << from;
        }
      }
    }
  }
}

}  // namespace
}  // namespace converter::page
