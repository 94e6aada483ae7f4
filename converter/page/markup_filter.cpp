#include "converter/page/markup_filter.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace converter::page {
namespace {

bool AllowedAttributes(const Tag& tag, std::initializer_list<std::string_view> names) {
  for (const Attribute& attribute : tag.attributes) {
    if (std::find(names.begin(), names.end(), attribute.name) == names.end()) return false;
    // Style sheets can fetch addresses and once ran script.
    if (ContainsNoCase(attribute.value, "javascript")) return false;
    if (attribute.value.find('`') != std::string::npos) return false;
  }
  return true;
}

// The reference written for c (quotes only inside an attribute value), or "" to keep c.
std::string_view ReferenceFor(char c, bool inAttribute) {
  switch (c) {
    case '<':
      return "&lt;";
    case '>':
      return "&gt;";
    case '"':
      return inAttribute ? "&quot;" : "";
    case '\'':
      return inAttribute ? "&#39;" : "";
    default:
      return "";
  }
}

// True when `text` (at an '&') begins a character reference: "&amp;", "&#39;", "&#x27;".
bool BeginsReference(std::string_view text) {
  size_t i = 1;
  auto digits = [&](auto accept) {
    size_t start = i;
    while (i < text.size() && accept(static_cast<unsigned char>(text[i]))) ++i;
    return i > start && i - start <= 10 && i < text.size() && text[i] == ';';
  };
  if (i < text.size() && text[i] == '#') {
    ++i;
    if (i < text.size() && (text[i] == 'x' || text[i] == 'X')) {
      ++i;
      return digits([](unsigned char c) { return std::isxdigit(c) != 0; });
    }
    return digits([](unsigned char c) { return std::isdigit(c) != 0; });
  }
  return digits([](unsigned char c) { return std::isalnum(c) != 0; });
}

// Copies text with its markup characters as references. Every sign written
// as a reference is below 0x40, which is never the second byte of a
// double-byte character, so the text is copied in runs between them.
template <class Out>
void AppendWithReferences(Out& out, std::string_view text, bool inAttribute) {
  // Bit 1: written as a reference in text; bit 2: in an attribute value.
  static constexpr auto kSigns = [] {
    std::array<unsigned char, 256> signs{};
    signs['<'] = signs['>'] = 3;
    signs['&'] = signs['"'] = signs['\''] = 2;
    return signs;
  }();
  const unsigned char wanted = inAttribute ? 2 : 1;
  const char* bytes = text.data();
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = bytes[i];
    if (!(kSigns[static_cast<unsigned char>(c)] & wanted)) continue;
    std::string_view reference = ReferenceFor(c, inAttribute);
    if (c == '&') {
      if (BeginsReference(text.substr(i))) continue;
      reference = "&amp;";  // an address's "&" (まちＢＢＳ's "?BBS=..&KEY=..")
    }
    out.append(bytes + run, i - run);
    out.append(reference);
    run = i + 1;
  }
  out.append(bytes + run, text.size() - run);
}

}  // namespace

Tag ParseTag(std::string_view text) {
  Tag tag;
  size_t i = 1;
  if (i < text.size() && text[i] == '/') {
    tag.name.push_back('/');
    ++i;
  }
  size_t nameStart = i;
  while (i < text.size() && IsAsciiAlnum(static_cast<unsigned char>(text[i]))) {
    tag.name.push_back(AsciiLower(text[i]));
    ++i;
  }
  if (i == nameStart) return tag;
  while (i < text.size()) {
    char c = text[i];
    if (c == '>') {
      tag.length = i + 1;
      tag.valid = true;
      return tag;
    }
    if (c == '<') return tag;  // a '<' inside a tag: not a tag of the board
    if (IsAsciiSpace(static_cast<unsigned char>(c)) || c == '/') {
      ++i;
      continue;
    }
    Attribute attribute;
    size_t attrStart = i;
    while (i < text.size() && text[i] != '=' && text[i] != '>' && text[i] != '<' &&
           !IsAsciiSpace(static_cast<unsigned char>(text[i])) && text[i] != '/') {
      ++i;
    }
    attribute.name = Lower(text.substr(attrStart, i - attrStart));
    while (i < text.size() && IsAsciiSpace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && text[i] == '=') {
      ++i;
      while (i < text.size() && IsAsciiSpace(static_cast<unsigned char>(text[i]))) ++i;
      if (i < text.size() && (text[i] == '"' || text[i] == '\'')) {
        char quote = text[i++];
        size_t end = text.find(quote, i);
        if (end == std::string_view::npos) return tag;
        attribute.value = text.substr(i, end - i);
        i = end + 1;
      } else {
        size_t valueStart = i;
        while (i < text.size() && text[i] != '>' && text[i] != '<' &&
               !IsAsciiSpace(static_cast<unsigned char>(text[i]))) {
          ++i;
        }
        attribute.value = text.substr(valueStart, i - valueStart);
      }
    }
    tag.attributes.push_back(std::move(attribute));
  }
  return tag;
}

// An address a browser would not run as script: plain web, mail and relative
// addresses only. Entities and control characters could hide "javascript:",
// so a scheme part holding them is refused.
bool IsSafeAddress(std::string_view address) {
  // The address as a browser reads it: blanks and control characters
  // dropped, in lower case. Its start decides; failing that, whether it
  // holds ':' or '&' anywhere.
  char folded[8];
  size_t kept = 0;
  size_t i = 0;
  for (; i < address.size() && kept < sizeof folded; ++i) {
    if (static_cast<unsigned char>(address[i]) > 0x20) folded[kept++] = AsciiLower(address[i]);
  }
  std::string_view start(folded, kept);
  for (std::string_view prefix :
       {"http://", "https://", "ftp://", "mailto:", "#", "/", "./", "../"}) {
    if (StartsWith(start, prefix)) return true;
  }
  auto signs = [](std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) { return c == ':' || c == '&'; });
  };
  return !signs(start) && !signs(address.substr(i));
}

// The simple markup the boards themselves write, kept as it stands.
bool IsBoardMarkup(const Tag& tag) {
  static constexpr std::array<std::string_view, 7> kBare = {"br",    "b",  "/b", "hr",
                                                            "/font", "/a", "/b"};
  if (std::find(kBare.begin(), kBare.end(), tag.name) != kBare.end()) {
    return tag.attributes.empty();
  }
  if (tag.name == "font") return AllowedAttributes(tag, {"color", "size", "face"});
  if (tag.name == "div" || tag.name == "span") {
    // The server's own notices (a dropped thread's reply) are styled blocks.
    if (!AllowedAttributes(tag, {"style", "class", "align"})) return false;
    for (const Attribute& attribute : tag.attributes) {
      for (std::string_view risky :
           {"expression", "url(", "behavior", "binding", "@import", "\\", "&"}) {
        if (ContainsNoCase(attribute.value, risky)) return false;
      }
    }
    return true;
  }
  if (tag.name == "/div" || tag.name == "/span") return tag.attributes.empty();
  if (tag.name == "img") {
    if (!AllowedAttributes(tag, {"src", "width", "height", "alt", "border", "title"})) return false;
    for (const Attribute& attribute : tag.attributes) {
      if (attribute.name == "src" && !StartsWithNoCase(attribute.value, "http://") &&
          !StartsWithNoCase(attribute.value, "https://")) {
        return false;
      }
    }
    return true;
  }
  return false;
}

void AppendEscaped(std::string& out, std::string_view text, common::Charset /*charset*/) {
  AppendWithReferences(out, text, false);
}

void AppendEscaped(TextSink& out, std::string_view text, common::Charset /*charset*/) {
  AppendWithReferences(out, text, false);
}

std::string EscapeAttribute(std::string_view text, common::Charset /*charset*/) {
  std::string out;
  out.reserve(text.size());
  AppendWithReferences(out, text, true);
  return out;
}

void AppendEscapedAttribute(std::string& out, std::string_view text) {
  AppendWithReferences(out, text, true);
}

void AppendEscapedAttribute(TextSink& out, std::string_view text) {
  AppendWithReferences(out, text, true);
}

std::string EscapeAmpersands(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  AppendAmpersandsEscaped(out, text);
  return out;
}

void AppendAmpersandsEscaped(std::string& out, std::string_view text) {
  TextSink sink(out);
  AppendAmpersandsEscaped(sink, text);
}

void AppendAmpersandsEscaped(TextSink& out, std::string_view text) {
  size_t run = 0;  // start of the text not yet copied
  for (size_t i = text.find('&'); i != std::string_view::npos; i = text.find('&', i + 1)) {
    if (BeginsReference(text.substr(i))) continue;
    out.append(text.data() + run, i - run).append("&amp;");
    run = i + 1;
  }
  out.append(text.data() + run, text.size() - run);
}

bool ContainsNoCase(std::string_view s, std::string_view needle) {
  for (size_t i = 0; i + needle.size() <= s.size(); ++i) {
    if (StartsWithNoCase(s.substr(i), needle)) return true;
  }
  return false;
}

std::string EscapeTags(std::string_view text, common::Charset charset) {
  std::string out;
  out.reserve(text.size());
  AppendEscaped(out, text, charset);
  return out;
}

size_t CharLength(std::string_view text, size_t i, common::Charset charset) {
  unsigned char c = static_cast<unsigned char>(text[i]);
  if (c < 0x80) return 1;
  size_t width = 1;
  switch (charset) {
    case common::Charset::kCp932:
      if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) width = 2;
      break;
    case common::Charset::kEucJp:
      if (c == 0x8F) {
        width = 3;
      } else if (c == 0x8E || (c >= 0xA1 && c <= 0xFE)) {
        width = 2;
      }
      break;
    case common::Charset::kBig5:
      if (c >= 0x81 && c <= 0xFE) width = 2;
      break;
    case common::Charset::kUtf8:
      if (c >= 0xF0) {
        width = 4;
      } else if (c >= 0xE0) {
        width = 3;
      } else if (c >= 0xC0) {
        width = 2;
      }
      break;
  }
  // A lead byte at the end of the text, or before a line end, stands alone.
  for (size_t k = 1; k < width; ++k) {
    if (i + k >= text.size() || static_cast<unsigned char>(text[i + k]) < 0x40) return 1;
  }
  return width;
}

}  // namespace converter::page
