// Appends to a string through a raw pointer. A page is written in many small
// pieces (a tag, a number, a line of a post), and a library append costs a
// call and a capacity check each; here the string's size runs ahead of the
// text written, room is made a few kilobytes at a time, and a piece is a
// bounds check and a copy. The string gets its true size back when the sink
// is done with it.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace converter::page {

class TextSink {
 public:
  // Appends after what `text` holds; `text` must not be touched but through
  // the sink until Finish (or the sink's end).
  explicit TextSink(std::string& text) : text_(text), size_(text.size()) {}
  ~TextSink() { Finish(); }
  TextSink(const TextSink&) = delete;
  TextSink& operator=(const TextSink&) = delete;

  // Gives the string its true size; the sink may go on appending after.
  void Finish() { text_.resize(size_); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  char back() const { return text_[size_ - 1]; }
  void pop_back() { --size_; }
  // Drops what was written from `size` on.
  void Truncate(size_t size) { size_ = std::min(size, size_); }
  // What was written from `from` on.
  std::string_view View(size_t from) const {
    return std::string_view(text_.data() + from, size_ - from);
  }

  // Inlined everywhere: a piece of constant length becomes a few moves.
  [[gnu::always_inline]] TextSink& append(const char* bytes, size_t count) {
    if (count > text_.size() - size_) Grow(count);
    // An empty view may hold no pointer, which memcpy must not be given.
    if (count != 0) std::memcpy(text_.data() + size_, bytes, count);
    size_ += count;
    return *this;
  }
  [[gnu::always_inline]] TextSink& append(std::string_view text) {
    return append(text.data(), text.size());
  }
  [[gnu::always_inline]] TextSink& operator+=(std::string_view text) {
    return append(text.data(), text.size());
  }
  TextSink& operator+=(char c) {
    if (size_ == text_.size()) Grow(1);
    text_[size_++] = c;
    return *this;
  }

 private:
  // Room for at least `count` more bytes (out of line: the appends stay small).
  void Grow(size_t count);

  std::string& text_;
  size_t size_;
};

}  // namespace converter::page
