#include "converter/page/body_rewriter.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cstring>

#include "converter/page/byte_search.h"
#include "converter/page/markup_filter.h"

namespace converter::page {

using namespace std::literals;

namespace {

// Finds a needle that begins with '<' regardless of case.
size_t FindNoCase(std::string_view s, std::string_view needle, size_t from) {
  for (size_t i = s.find(needle[0], from); i != std::string_view::npos;
       i = s.find(needle[0], i + 1)) {
    if (StartsWithNoCase(s.substr(i), needle)) return i;
  }
  return std::string_view::npos;
}

// Letters, digits and the signs an address may hold, as a table: every
// byte of an address is looked up.
bool IsUrlChar(char c) {
  static constexpr auto kUrlChars = [] {
    std::array<bool, 256> chars{};
    for (int c = 0; c < 256; ++c) chars[c] = IsAsciiAlnum(static_cast<unsigned char>(c));
    for (char sign : std::string_view("-_.!~*'();/?:@&=+$,%#[]")) {
      chars[static_cast<unsigned char>(sign)] = true;
    }
    return chars;
  }();
  return kUrlChars[static_cast<unsigned char>(c)];
}

// Length of the address at the start of `text` (scheme included).
size_t AddressLength(std::string_view text, size_t schemeLength) {
  size_t i = schemeLength;
  while (i < text.size() && IsUrlChar(text[i])) {
    if (text[i] == '&' &&
        (StartsWith(text.substr(i), "&gt;") || StartsWith(text.substr(i), "&lt;") ||
         StartsWith(text.substr(i), "&quot;") || StartsWith(text.substr(i), "&nbsp;"))) {
      break;
    }
    ++i;
  }
  return i > schemeLength ? i : 0;
}

// Full-width digit at text[i] in `charset`: its value, or -1.
int FullWidthDigit(std::string_view text, size_t i, common::Charset charset, size_t& width) {
  auto at = [&](size_t k) { return k < text.size() ? static_cast<unsigned char>(text[k]) : 0u; };
  switch (charset) {
    case common::Charset::kUtf8:
      if (at(i) == 0xEF && at(i + 1) == 0xBC && at(i + 2) >= 0x90 && at(i + 2) <= 0x99) {
        width = 3;
        return static_cast<int>(at(i + 2) - 0x90);
      }
      return -1;
    case common::Charset::kCp932:
      if (at(i) == 0x82 && at(i + 1) >= 0x4F && at(i + 1) <= 0x58) {
        width = 2;
        return static_cast<int>(at(i + 1) - 0x4F);
      }
      return -1;
    case common::Charset::kEucJp:
      if (at(i) == 0xA3 && at(i + 1) >= 0xB0 && at(i + 1) <= 0xB9) {
        width = 2;
        return static_cast<int>(at(i + 1) - 0xB0);
      }
      return -1;
    case common::Charset::kBig5:
      if (at(i) == 0xA2 && at(i + 1) >= 0xAF && at(i + 1) <= 0xB8) {
        width = 2;
        return static_cast<int>(at(i + 1) - 0xAF);
      }
      return -1;
  }
  return -1;
}

// Reads half-width or full-width digits; returns the number of bytes
// consumed and the value (capped so that it cannot overflow).
size_t ReadNumber(std::string_view text, int& value, common::Charset charset) {
  size_t i = 0;
  long long v = 0;
  for (;;) {
    int digit = -1;
    size_t width = 0;
    if (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      digit = text[i] - '0';
      width = 1;
    } else {
      digit = FullWidthDigit(text, i, charset, width);
    }
    if (digit < 0) break;
    v = std::min<long long>(v * 10 + digit, 100000000);
    i += width;
  }
  value = static_cast<int>(v);
  return i;
}

// The full-width '＞' in `charset`.
std::string_view FullWidthGreater(common::Charset charset) {
  switch (charset) {
    case common::Charset::kUtf8:
      return "\xEF\xBC\x9E";
    case common::Charset::kCp932:
      return "\x81\x84";
    case common::Charset::kEucJp:
      return "\xA1\xE4";
    case common::Charset::kBig5:
      return "\xA1\xD6";
  }
  return "\xEF\xBC\x9E";
}

// Length of the quote mark a post anchor's text begins with, or 0.
size_t AnchorMarkLength(std::string_view text, common::Charset charset) {
  if (StartsWith(text, "&gt;&gt;")) return 8;
  if (StartsWith(text, "&gt;")) return 4;
  std::string_view greater = FullWidthGreater(charset);
  if (StartsWith(text, greater)) {
    return StartsWith(text.substr(greater.size()), greater) ? 2 * greater.size() : greater.size();
  }
  return 0;
}

// The numbers an anchor text names: "5", "5-10", "10,12+14" (ranges capped).
void CollectTargets(std::string_view text, int postCount, std::vector<int>* refs,
                    common::Charset charset) {
  if (!refs) return;
  size_t i = AnchorMarkLength(text, charset);
  int previous = -1;
  bool range = false;
  while (i < text.size() && refs->size() < kMaxRefsPerPost) {
    int value = 0;
    size_t used = ReadNumber(text.substr(i), value, charset);
    if (used > 0) {
      i += used;
      int from = range && previous > 0 ? previous + 1 : value;
      for (int n = from; n <= value && refs->size() < kMaxRefsPerPost; ++n) {
        if (n >= 1 && n <= postCount) refs->push_back(n);
      }
      previous = value;
      range = false;
      continue;
    }
    if (text[i] == '-') {
      range = true;
    } else if (text[i] != ',' && text[i] != '+') {
      break;
    }
    ++i;
  }
}

class FieldWriter {
 public:
  FieldWriter(TextSink& out, FieldKind kind, const BodyRules& rules, const AnchorContext& anchors,
              std::vector<int>* refs, const std::vector<size_t>* stops)
      : kind_(kind), rules_(rules), anchors_(anchors), refs_(refs), stops_(stops), out_(out) {}

  void Run(std::string_view text) { Scan(text, /*insideLink=*/false); }

 private:
  bool LinksDropped() const {
    return rules_.link == 3 || (rules_.link == 2 && kind_ == FieldKind::kName);
  }

  // Markup starts at '<' and every address holds "://". Neither '<' nor ':'
  // is ever the trail byte of a double-byte character, so the text between
  // them is copied whole; only an address found there needs a look back.
  void Scan(std::string_view text, bool insideLink) {
    const size_t size = text.size();
    const char* bytes = text.data();
    size_t i = 0;     // start of the text not yet written, at a character boundary
    size_t from = 0;  // where the look for the next stop goes on
    size_t next = 0;  // in stops_, known for the whole field
    for (;;) {
      size_t stop;
      if (insideLink) {
        stop = FindByte(bytes, size, from, '<');
      } else if (stops_) {
        while (next < stops_->size() && (*stops_)[next] < from) ++next;
        stop = next < stops_->size() ? (*stops_)[next] : size;
      } else {
        stop = FindTagOrAddress(bytes, size, from);
      }
      if (stop >= size) {
        out_.append(bytes + i, size - i);
        return;
      }
      if (bytes[stop] == '<') {
        // The plain tags every log is full of stay in the text being copied.
        if (size_t plain = PlainTagLength(text.substr(stop))) {
          from = stop + plain;
          continue;
        }
        out_.append(bytes + i, stop - i);
        i = from = stop + Markup(text.substr(stop), insideLink);
        continue;
      }
      size_t start = AddressStart(text, i, stop);
      if (start != std::string_view::npos) {
        out_.append(bytes + i, start - i);
        i = start;
        size_t used = PlainAddress(text.substr(start));
        if (used > 0) {
          i = from = start + used;
          continue;
        }
      }
      from = stop + 1;
    }
  }

  // Where the scheme of an address whose "://" is at `colon` begins (at or
  // after `from`, on a character boundary), npos when none does.
  size_t AddressStart(std::string_view text, size_t from, size_t colon) const {
    for (std::string_view scheme : {"https", "http", "sssp", "ttp", "ftp"}) {
      if (colon < from + scheme.size()) continue;
      size_t start = colon - scheme.size();
      if (text.compare(start, scheme.size(), scheme) == 0 && IsBoundary(text, from, start)) {
        return start;
      }
    }
    return std::string_view::npos;
  }

  // True when `at` starts a character, knowing that `from` does. Bytes below
  // 0x40 are single characters in every charset here, so the walk starts at
  // the last of them.
  bool IsBoundary(std::string_view text, size_t from, size_t at) const {
    size_t k = at;
    while (k > from && static_cast<unsigned char>(text[k - 1]) >= 0x40) --k;
    while (k < at) k += CharLength(text, k, rules_.charset);
    return k == at;
  }

  // Handles the markup at the start of `text`; returns the bytes consumed.
  // Length of the <br>, <hr>, <b> or </b> at the start of `text`, written
  // as it stands; 0 for any other markup.
  static size_t PlainTagLength(std::string_view text) {
    if (text.size() >= 4 && text[3] == '>' &&
        ((text[1] == 'b' && text[2] == 'r') || (text[1] == 'h' && text[2] == 'r') ||
         (text[1] == '/' && text[2] == 'b'))) {
      return 4;
    }
    if (text.size() >= 3 && text[1] == 'b' && text[2] == '>') return 3;
    return 0;
  }

  size_t Markup(std::string_view text, bool insideLink) {
    Tag tag = ParseTag(text);
    if (!tag.valid) {
      out_ += "&lt;"sv;
      return 1;
    }
    if (tag.name == "a" && !insideLink) return Anchor(text, tag);
    if (tag.name == "/a" && insideLink) return tag.length;  // closed by the caller
    if (IsBoardMarkup(tag)) {
      out_.append(text.substr(0, tag.length));
    } else {
      AppendEscaped(out_, text.substr(0, tag.length), rules_.charset);
    }
    return tag.length;
  }

  size_t Anchor(std::string_view text, const Tag& tag) {
    size_t closing = FindNoCase(text, "</a>", tag.length);
    if (closing == std::string_view::npos) {
      out_ += "&lt;"sv;
      return 1;
    }
    std::string_view linkText = text.substr(tag.length, closing - tag.length);
    size_t consumed = closing + 4;
    if (LinksDropped()) {
      Scan(linkText, /*insideLink=*/true);
      return consumed;
    }
    std::string_view href;
    bool safe = true;
    for (const Attribute& attribute : tag.attributes) {
      if (attribute.name == "href") {
        href = attribute.value;
        safe = safe && IsSafeAddress(href);
      } else if (attribute.name != "target" && attribute.name != "rel" &&
                 attribute.name != "title" && attribute.name != "name") {
        safe = false;  // on...= handlers and the like
      }
    }
    size_t mark = AnchorMarkLength(linkText, rules_.charset);
    int number = 0;
    if (!rules_.notreplaceresanchor && mark > 0 &&
        ReadNumber(linkText.substr(mark), number, rules_.charset) > 0) {
      std::string extra;
      if (rules_.anchorext) consumed += TakeAnchorExtension(text.substr(consumed), extra);
      if (extra.empty()) {
        CollectTargets(linkText, anchors_.postCount, refs_, rules_.charset);
      } else {
        CollectTargets(std::string(linkText) + extra, anchors_.postCount, refs_, rules_.charset);
      }
      out_ += "<a href=\""sv;
      if (anchors_.partFileOf) {
        out_ += anchors_.partFileOf(std::clamp(number, 1, std::max(1, anchors_.postCount)));
      }
      out_ += rules_.nametargetR ? "#R" : "#";
      char digits[16];
      auto written = std::to_chars(digits, digits + sizeof digits, number);
      out_.append(digits, static_cast<size_t>(written.ptr - digits));
      out_ += "\">"sv;
      Scan(linkText, /*insideLink=*/true);
      out_ += extra;
      out_ += "</a>"sv;
      return consumed;
    }
    if (!safe) {
      AppendEscaped(out_, text.substr(0, tag.length), rules_.charset);
      Scan(linkText, /*insideLink=*/true);
      out_ += "&lt;/a&gt;"sv;
      return consumed;
    }
    if (rules_.link_redirect && StartsWithNoCase(href, "http") && !IsBoardFamilyHost(href)) {
      RedirectedLinkStart(StripScheme(href));
    } else {
      out_.append(text.substr(0, tag.length));
    }
    Scan(linkText, /*insideLink=*/true);
    out_ += "</a>"sv;
    return consumed;
  }

  // ",12+14-16" after an anchor joins its link text; a trailing sign stays out.
  static size_t TakeAnchorExtension(std::string_view after, std::string& extra) {
    if (after.size() < 2 || (after[0] != ',' && after[0] != '+') ||
        !std::isdigit(static_cast<unsigned char>(after[1]))) {
      return 0;
    }
    size_t n = 0;
    while (n < after.size() && (std::isdigit(static_cast<unsigned char>(after[n])) ||
                                after[n] == ',' || after[n] == '+' || after[n] == '-')) {
      ++n;
    }
    while (n > 0 && !std::isdigit(static_cast<unsigned char>(after[n - 1]))) --n;
    extra = std::string(after.substr(0, n));
    return n;
  }

  static std::string_view StripScheme(std::string_view address) {
    size_t scheme = address.find("://");
    return scheme == std::string_view::npos ? address : address.substr(scheme + 3);
  }

  // The start tag of a link through the redirector to `address` (without its scheme).
  void RedirectedLinkStart(std::string_view address) {
    out_ += "<a href=\"http://"sv;
    out_ += rules_.redirectPrefix;
    AppendAmpersandsEscaped(out_, address);
    out_ += "\" target=\"_blank\">"sv;
  }

  // A plain address at the start of `text`: written as a link (or an icon)
  // when the rules allow; returns the bytes consumed, 0 when none.
  size_t PlainAddress(std::string_view text) {
    char first = text[0];
    if (first != 'h' && first != 't' && first != 'f' && first != 's') return 0;
    if (rules_.sssp2img && StartsWith(text, "sssp://")) {
      size_t length = AddressLength(text, 7);
      std::string_view path = text.substr(7, length > 7 ? length - 7 : 0);
      if (length == 0 || !(StartsWith(path, "img.2ch.net/") || StartsWith(path, "img.5ch.net/"))) {
        return 0;
      }
      out_ += "<img src=\"http://"sv;
      out_.append(path);
      out_ += "\">"sv;
      return length;
    }
    if (rules_.link >= 2) return 0;
    size_t scheme = 0;
    bool missingH = false;
    if (StartsWith(text, "http://")) {
      scheme = 7;
    } else if (StartsWith(text, "https://")) {
      scheme = 8;
    } else if (StartsWith(text, "ftp://")) {
      scheme = 6;
    } else if (StartsWith(text, "ttp://") && rules_.link != 1) {
      scheme = 6;
      missingH = true;
    }
    if (scheme == 0) return 0;
    size_t length = AddressLength(text, scheme);
    if (length == 0) return 0;
    std::string_view address = text.substr(0, length);
    // "ttp://" gets its 'h' back; the host, which decides the redirect, is the same.
    if (rules_.link_redirect && !IsBoardFamilyHost(address)) {
      RedirectedLinkStart(StripScheme(address));
    } else {
      out_ += missingH ? "<a href=\"h"sv : "<a href=\""sv;
      AppendAmpersandsEscaped(out_, address);
      out_ += "\" target=\"_blank\">"sv;
    }
    if (rules_.link_omit_atagstr && address.size() > kShortLinkText) {
      out_.append(address.substr(0, kShortLinkText));
      out_ += "...</a><br>"sv;
    } else {
      out_.append(address);
      out_ += "</a>"sv;
    }
    return length;
  }

  static constexpr size_t kShortLinkText = 40;

  FieldKind kind_;
  const BodyRules& rules_;
  const AnchorContext& anchors_;
  std::vector<int>* refs_;
  const std::vector<size_t>* stops_;
  TextSink& out_;
};

}  // namespace

void RewriteFieldInto(TextSink& out, std::string_view text, FieldKind kind, const BodyRules& rules,
                      const AnchorContext& anchors, std::vector<int>* refs,
                      const std::vector<size_t>* stops) {
  FieldWriter(out, kind, rules, anchors, refs, stops).Run(text);
}

void RewriteFieldInto(std::string& out, std::string_view text, FieldKind kind,
                      const BodyRules& rules, const AnchorContext& anchors, std::vector<int>* refs,
                      const std::vector<size_t>* stops) {
  TextSink sink(out);
  RewriteFieldInto(sink, text, kind, rules, anchors, refs, stops);
}

std::string RewriteField(std::string_view text, FieldKind kind, const BodyRules& rules,
                         const AnchorContext& anchors, std::vector<int>* refs) {
  std::string out;
  out.reserve(text.size() + text.size() / 4);
  RewriteFieldInto(out, text, kind, rules, anchors, refs);
  return out;
}

std::string TrimBodyBlanks(std::string_view body) {
  std::string out;
  TrimBodyBlanksInto(out, body);
  return out;
}

void TrimBodyBlanksInto(std::string& out, std::string_view body, std::vector<size_t>* stops) {
  out.clear();
  AppendTrimmedBody(out, body, stops);
}

bool AppendTrimmedBody(std::string& out, std::string_view body, std::vector<size_t>* stops) {
  TextSink sink(out);
  return AppendTrimmedBody(sink, body, stops);
}

bool AppendTrimmedBody(TextSink& out, std::string_view body, std::vector<size_t>* stops) {
  if (stops) stops->clear();
  const size_t start = out.size();
  const char* bytes = body.data();
  const size_t size = body.size();
  bool onlyBreaks = true;
  size_t i = size > 0 && bytes[0] == ' ' ? 1 : 0;  // start of the text not yet copied
  size_t at = i;
  while (i < size) {
    at = FindTagOrAddress(bytes, size, at);
    if (at >= size) {
      out.append(bytes + i, size - i);
      break;
    }
    if (bytes[at] != '<' || at + 4 > size || bytes[at + 1] != 'b' || bytes[at + 2] != 'r' ||
        bytes[at + 3] != '>') {
      if (stops) stops->push_back(out.size() - start + (at - i));
      onlyBreaks = false;
      ++at;
      continue;
    }
    bool blankBefore = at > i ? bytes[at - 1] == ' ' : out.size() > start && out.back() == ' ';
    if (!blankBefore && (at + 4 >= size || bytes[at + 4] != ' ')) {
      // No blank to drop (art is written so): the break stays in the run.
      if (stops) stops->push_back(out.size() - start + (at - i));
      at += 4;
      continue;
    }
    // The blank before the break goes, whether this run or an earlier one wrote it.
    if (at > i) {
      out.append(bytes + i, at - i - (bytes[at - 1] == ' ' ? 1 : 0));
    } else if (out.size() > start && out.back() == ' ') {
      out.pop_back();
    }
    if (stops) stops->push_back(out.size() - start);
    out.append("<br>", 4);
    i = at + 4;
    if (i < size && bytes[i] == ' ') ++i;
    at = i;
  }
  if (out.size() > start && out.back() == ' ') out.pop_back();
  return onlyBreaks;
}

bool IsBoardFamilyHost(std::string_view address) {
  size_t scheme = address.find("://");
  std::string_view rest = scheme == std::string_view::npos ? address : address.substr(scheme + 3);
  std::string host = Lower(rest.substr(0, rest.find('/')));
  for (std::string_view pattern : {"2ch.net", "5ch.net", "bbspink.com", "machi.to", "2ch.sc"}) {
    if (host.size() >= pattern.size() &&
        host.compare(host.size() - pattern.size(), pattern.size(), pattern) == 0) {
      return true;
    }
  }
  return false;
}

}  // namespace converter::page
