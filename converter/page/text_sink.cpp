#include "converter/page/text_sink.h"

namespace converter::page {

// A step in proportion to the text so far, so that a short field costs no
// kilobytes of zeros, and at most about 2 KB, which the library fills with
// vector stores rather than a string instruction.
void TextSink::Grow(size_t count) {
  size_t step = std::max(count, std::clamp<size_t>(size_, 64, 2000));
  text_.resize(size_ + step);
}

}  // namespace converter::page
