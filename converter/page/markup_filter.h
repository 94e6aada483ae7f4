// The markup filter: which tags of a log reach the page as markup. The
// boards write a few plain tags (<br>, <b>, anchors, <font>, <hr>, styled
// notices); every other tag, and any attribute or address that could run
// script, is written as text.
#pragma once

#include <cctype>
#include <string>
#include <string_view>
#include <vector>

#include "common/encoding.h"
#include "converter/page/text_sink.h"

namespace converter::page {

// Character classes of the "C" locale this program runs in, without a
// library call for each character of a tag.
constexpr bool IsAsciiSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
constexpr bool IsAsciiAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z');
}
inline char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

// `prefix` in lower case.
inline bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i) {
    if (AsciiLower(s[i]) != prefix[i]) return false;
  }
  return true;
}

inline std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = AsciiLower(c);
  return out;
}

// True when `s` holds `needle` (in lower case) regardless of case.
bool ContainsNoCase(std::string_view s, std::string_view needle);

// One attribute of a tag as the log wrote it.
struct Attribute {
  std::string name;        // lower case
  std::string_view value;  // in the text the tag was read from
};

// The attributes of a tag. A log's tags carry one to three, so the first
// few are held in place and reading a tag costs no allocation.
class Attributes {
 public:
  bool empty() const { return size_ == 0; }
  size_t size() const { return size_; }
  const Attribute* begin() const { return size_ > kInPlace ? spilled_.data() : inPlace_; }
  const Attribute* end() const { return begin() + size_; }
  void push_back(Attribute attribute) {
    if (size_ < kInPlace) {
      inPlace_[size_++] = std::move(attribute);
      return;
    }
    if (size_ == kInPlace) spilled_.assign(inPlace_, inPlace_ + kInPlace);
    spilled_.push_back(std::move(attribute));
    ++size_;
  }

 private:
  static constexpr size_t kInPlace = 4;
  Attribute inPlace_[kInPlace];
  std::vector<Attribute> spilled_;
  size_t size_ = 0;
};

// A tag of the log: its name (lower case, with '/' for a closing tag), its
// attributes and its length in the text.
struct Tag {
  std::string name;
  Attributes attributes;
  size_t length = 0;
  bool valid = false;
};

// Reads the tag at the start of `text` (which begins with '<'). The
// attribute values point into `text`.
Tag ParseTag(std::string_view text);

// An address a browser would not run as script: plain web, mail and relative
// addresses only.
bool IsSafeAddress(std::string_view address);

// The simple markup the boards themselves write, kept as it stands.
bool IsBoardMarkup(const Tag& tag);

// Appends `text` with '<' and '>' written as entities. The signs written
// as entities never occur inside a double-byte character of the charsets
// here, so the result is the same in each.
void AppendEscaped(std::string& out, std::string_view text, common::Charset charset);
void AppendEscaped(TextSink& out, std::string_view text, common::Charset charset);

// Escapes a mail field for use inside a double-quoted attribute and as text.
std::string EscapeAttribute(std::string_view text, common::Charset charset);
// The same, appending to `out`.
void AppendEscapedAttribute(std::string& out, std::string_view text);
void AppendEscapedAttribute(TextSink& out, std::string_view text);

// An address for an attribute value: each "&" that begins no character
// reference becomes "&amp;".
std::string EscapeAmpersands(std::string_view text);
// The same, appending to `out`.
void AppendAmpersandsEscaped(std::string& out, std::string_view text);
void AppendAmpersandsEscaped(TextSink& out, std::string_view text);

// Escapes every tag of a text that may not hold markup (title, label).
std::string EscapeTags(std::string_view text, common::Charset charset);

// Bytes of the character that starts at text[i] (1 for ASCII and bad bytes).
size_t CharLength(std::string_view text, size_t i, common::Charset charset);

}  // namespace converter::page
