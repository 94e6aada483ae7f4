#include "converter/options/packed_values.h"

#include <algorithm>
#include <cctype>

namespace converter {
namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Bit n (1 = the digit's highest, 8) of a hex digit.
bool Bit(int digit, int n) { return (digit >> (4 - n)) & 1; }

// Reads `count` hex digits as one number, the way strtoul would: it stops
// at the first character that is not a hex digit.
unsigned ReadHexNumber(std::string_view digits) {
  unsigned value = 0;
  for (char c : digits) {
    int d = HexDigit(c);
    if (d < 0) break;
    value = value * 16 + d;
  }
  return value;
}

}  // namespace

std::string Unquote(std::string_view text) {
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
  } else if (!text.empty() && text.front() == '"') {
    text = text.substr(1);
  }
  return std::string(text);
}

void ApplyMValue(std::string_view value, Mode mode, Options& cmd) {
  std::string digits(value.substr(0, std::min<size_t>(value.find(' '), 16)));
  if (digits.size() < 9) digits.append(9 - digits.size(), '0');
  // Digits 1-4, 5-8 and 9 are three numbers; a non-hex character ends the
  // number it stands in.
  unsigned first = ReadHexNumber(std::string_view(digits).substr(0, 4));
  unsigned second = ReadHexNumber(std::string_view(digits).substr(4, 4));
  unsigned third = ReadHexNumber(std::string_view(digits).substr(8, 1));
  int d[10];
  d[1] = (first >> 12) & 15, d[2] = (first >> 8) & 15, d[3] = (first >> 4) & 15, d[4] = first & 15;
  d[5] = (second >> 12) & 15, d[6] = (second >> 8) & 15, d[7] = (second >> 4) & 15,
  d[8] = second & 15;
  d[9] = third & 15;

  MSwitches& m = cmd.m;
  m.namae = Bit(d[1], 1);
  m.toukoubi = Bit(d[1], 2);
  m.maildshow = Bit(d[1], 3);
  m.titlehide = Bit(d[1], 4);
  m.hizuke = (d[2] >> 2) & 3;
  m.size = Bit(d[2], 3);
  m.notdelsp = Bit(d[2], 4);
  m.delsptt = Bit(d[3], 1);
  m.delnamesp = Bit(d[3], 2);
  m.retcodeLF = Bit(d[3], 3);
  m.notreplaceresanchor = Bit(d[3], 4);
  m.link_backtoboard = Bit(d[4], 1);
  m.link_moto = Bit(d[4], 2);
  m.link_redirect = Bit(d[4], 3);
  m.link_back = Bit(d[4], 4);
  m.link_numlink = Bit(d[5], 1);
  m.link = (d[5] >> 1) & 3;
  m.credit = Bit(d[5], 4);
  if (!cmd.js.txtsearchSetByJs) {
    cmd.js.txtsearch = Bit(d[6], 1);
    if (cmd.js.txtsearch) cmd.js.enabled = true;
  }
  m.forcemspfont = Bit(d[6], 2);
  m.readcgi7xx = Bit(d[6], 3);
  m.link_omit_atagstr = Bit(d[6], 4);
  m.limitoflinenumber = d[7] * 2 + Bit(d[8], 1);
  m.omitdldd = Bit(d[8], 2);
  m.writehtmlindextag = Bit(d[8], 3);
  m.anchorext = Bit(d[8], 4);
  m.sssp2img = Bit(d[9], 1);
  m.output_kanjicode = (d[9] >> 1) & 3;
  // In standard mode the bit says "plain #<n> links", so the field is its inverse.
  m.nametargetR = mode == Mode::kStandard ? !Bit(d[9], 4) : Bit(d[9], 4);
}

void ApplyBareM(Options& cmd) {
  cmd.m.link_backtoboard = false;
  cmd.m.link_moto = false;
}

void ApplyJsValue(std::string_view value, Options& cmd) {
  std::string digits(value.substr(0, 16));
  if (digits.size() < 3) digits.append(3 - digits.size(), '0');
  int d[4];
  for (int k = 1; k <= 3; ++k) d[k] = std::max(0, HexDigit(digits[k - 1]));
  JsSwitches& js = cmd.js;
  js.method = Bit(d[1], 1);
  js.target = Bit(d[1], 2);
  js.txtsearch = Bit(d[2], 1);
  js.txtsearchSetByJs = true;
  js.belink = Bit(d[2], 2);
  js.respopup = Bit(d[3], 1);
  js.mailpopup = Bit(d[3], 2);
  js.idpopup = Bit(d[3], 3);
  js.refpopup = Bit(d[3], 4);
  js.enabled = d[2] != 0 || d[3] != 0;
}

void ApplyBareJs(Options& cmd) {
  JsSwitches& js = cmd.js;
  js.enabled = js.method = js.target = js.belink = true;
  js.respopup = js.mailpopup = js.idpopup = js.refpopup = true;
}

std::uint32_t ReadOValue(std::string_view value) { return ReadHexNumber(value.substr(0, 6)); }

void ApplyOWord(std::uint32_t word, OSwitches& o) {
  o.word = word;
  int d1 = (word >> 20) & 15, d2 = (word >> 16) & 15;
  o.noIdxInf = Bit(d1, 1);
  o.noBrowserBoardFiles = Bit(d1, 2);
  o.noCurrentBoardFiles = Bit(d1, 3);
  o.ignoreLogCheck = Bit(d1, 4);
  o.noExistingOutputCheck = Bit(d2, 1);
  o.inputKanjicode = d2 & 3;
  o.boardInfoPriority = (word >> 8) & 0xFF;
  o.headKb = word & 0xFF;
}

void ApplyIndexValue(bool decorated, char separator, std::string_view value, IndexSettings& i) {
  i = IndexSettings{};
  i.enabled = true;
  i.decorated = decorated;
  if (separator == 0) return;
  i.copyBackground = separator == ':';
  size_t p = 0;
  if (p < value.size() && std::string_view("nflLrx").find(value[p]) != std::string_view::npos) {
    i.sortKey = value[p++];
  }
  if (p < value.size() && (value[p] == 'u' || value[p] == 'd')) i.order = value[p++];
  // A character a position does not take leaves that position at its
  // default and is tried at the next one.
  for (int pos = 0; pos < 10 && p < value.size(); ++pos) {
    char c = value[p];
    char highest = pos == 9 ? '3' : '1';
    if (c >= '0' && c <= highest) {
      i.digits[pos] = c - '0';
      ++p;
    }
  }
  if (p < value.size() && value[p] == ':') i.fileName = Unquote(value.substr(p + 1));
}

bool ApplyFolderLetters(std::string_view value, Options& cmd) {
  value = value.substr(0, 10);
  bool found = false;
  bool haveBn = false, haveFf = false;
  for (char c : value) {
    if (c == 'r') {
      cmd.reproduceTree = found = true;
    } else if (c == 'c') {
      cmd.oneFolder = found = true;
    } else if (std::string_view("BsbnfFd").find(c) != std::string_view::npos) {
      if (c == 'b' || c == 'n') {
        if (haveBn) continue;
        haveBn = true;
      }
      if (c == 'f' || c == 'F') {
        if (haveFf) continue;
        haveFf = true;
      }
      if (cmd.folderLetters.find(c) == std::string::npos) cmd.folderLetters += c;
      found = true;
    }
  }
  return found;
}

void ApplyRange(std::string_view value, Options& cmd) {
  auto number = [](std::string_view text) {
    long long n = 0;
    size_t k = 0;
    for (; k < text.size() && std::isdigit(static_cast<unsigned char>(text[k])); ++k) {
      n = std::min<long long>(n * 10 + (text[k] - '0'), 999999999);
    }
    return k == 0 ? -1LL : n;
  };
  size_t dash = value.find('-');
  if (dash == std::string_view::npos) {
    long long min = number(value);
    cmd.minPosts = static_cast<int>(std::max(1LL, min));
    cmd.maxPosts = 999999;
    return;
  }
  long long min = number(value.substr(0, dash));
  long long max = number(value.substr(dash + 1));
  cmd.minPosts = static_cast<int>(min < 0 ? 1 : std::max(1LL, min));
  cmd.maxPosts = static_cast<int>(max < 0 ? 999999 : max);
}

void ApplySubfolders(std::string_view value, Options& cmd) {
  cmd.s = true;
  size_t p = 0;
  if (p < value.size() && value[p] == '=') ++p;
  if (p < value.size() && value[p] == '1') cmd.sOneIndex = true, ++p;
  if (p < value.size() && value[p] == 'c') cmd.oneFolder = true, ++p;
  if (p < value.size() && value[p] == ':') cmd.pathSelectionFile = Unquote(value.substr(p + 1));
}

void ApplyDateFilter(std::string_view value, DateFilter& ts) {
  ts = DateFilter{};
  ts.enabled = true;
  size_t comma = value.find(',');
  if (comma != std::string_view::npos) {
    std::string_view basis = value.substr(comma + 1);
    if (!basis.empty() && std::string_view("cflm").find(basis[0]) != std::string_view::npos) {
      ts.basis = basis[0];
    }
    value = value.substr(0, comma);
  }
  size_t dash = value.find('-');
  std::string_view sides[2] = {value.substr(0, dash), dash == std::string_view::npos
                                                          ? std::string_view()
                                                          : value.substr(dash + 1)};
  std::string* patterns[2] = {&ts.from, &ts.to};
  int firstStart = 0;
  int firstDefined[2] = {-1, -1};
  for (int side = 0; side < 2; ++side) {
    // A side without a field letter continues in the layout of the first.
    int pos = side == 0 ? 0 : firstStart;
    bool started = false;
    int digitCount = 0;
    for (char c : sides[side]) {
      size_t letter = std::string_view("YMDhms").find(c);
      if (letter != std::string_view::npos) {
        static constexpr int kStarts[] = {0, 4, 6, 8, 10, 12};
        pos = kStarts[letter];
      } else if (c >= '0' && c <= '9') {
        if (++digitCount > 14 || pos >= 14) break;
        if (!started && side == 0) firstStart = pos;
        started = true;
        if (firstDefined[side] < 0) firstDefined[side] = pos;
        (*patterns[side])[pos++] = c;
      }
    }
  }
  // A single date without '-' is matched exactly.
  if (dash == std::string_view::npos) {
    ts.to = ts.from;
    return;
  }
  // "20060101-h12" means 2006/01/01 00:00 to 2006/01/01 12:59: a side that
  // leaves its leading fields open takes them from the other side.
  if (firstDefined[0] >= 0 && firstDefined[1] >= 0) {
    for (int side = 0; side < 2; ++side) {
      std::string& self = *patterns[side];
      const std::string& other = *patterns[1 - side];
      for (int k = 0; k < firstDefined[side]; ++k) {
        if (self[k] == '*' && other[k] != '*') self[k] = other[k];
      }
    }
  }
}

}  // namespace converter
