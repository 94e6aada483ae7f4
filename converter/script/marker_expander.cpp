#include "converter/script/marker_expander.h"

namespace converter::script {
namespace {

constexpr std::string_view kCr = "<cr/>";
constexpr std::string_view kRet = "<RET/>";
constexpr std::string_view kCmt = "<cmt>";
constexpr std::string_view kCmtEnd = "</cmt>";
// A comment longer than this is no comment marker but text of the script.
constexpr size_t kLongestComment = 2000;

// The N of a <spN/> marker at `at`; 0 when there is none.
size_t BlankRun(std::string_view text, size_t at, size_t& length) {
  if (text.compare(at, 3, "<sp") != 0) return 0;
  size_t i = at + 3;
  size_t n = 0;
  while (i < text.size() && i < at + 5 && text[i] >= '0' && text[i] <= '9') {
    n = n * 10 + static_cast<size_t>(text[i] - '0');
    ++i;
  }
  if (i == at + 3 || n < 1 || n > 29 || text.compare(i, 2, "/>") != 0) return 0;
  length = i + 2 - at;
  return n;
}

// Replaces every run of `width` blanks by one blank, left to right.
std::string FoldBlanks(const std::string& text, size_t width) {
  std::string out;
  out.reserve(text.size());
  const std::string run(width, ' ');
  size_t at = 0;
  for (size_t hit = text.find(run); hit != std::string::npos; hit = text.find(run, at)) {
    out.append(text, at, hit - at);
    out += ' ';
    at = hit + width;
  }
  out.append(text, at, std::string::npos);
  return out;
}

}  // namespace

std::string ExpandMarkers(std::string_view marked, ScriptForm form, std::string_view eol) {
  const bool embedded = form == ScriptForm::kEmbedded;
  std::string out;
  out.reserve(marked.size());
  for (size_t at = 0; at < marked.size();) {
    if (marked[at] != '<') {
      size_t next = marked.find('<', at);
      if (next == std::string_view::npos) next = marked.size();
      out.append(marked, at, next - at);
      at = next;
      continue;
    }
    size_t length = 0;
    if (marked.compare(at, kCr.size(), kCr) == 0) {
      at += kCr.size();
      if (embedded) {
        if (at < marked.size() && marked[at] == ' ') ++at;
      } else {
        out += eol;
      }
    } else if (marked.compare(at, kRet.size(), kRet) == 0) {
      at += kRet.size();
      out += eol;
    } else if (size_t n = BlankRun(marked, at, length); n > 0) {
      at += length;
      out.append(embedded ? 1 : n, ' ');
    } else if (marked.compare(at, kCmt.size(), kCmt) == 0) {
      size_t end = marked.find(kCmtEnd, at + kCmt.size());
      if (end == std::string_view::npos || end - at - kCmt.size() > kLongestComment) {
        out += marked[at++];
        continue;
      }
      if (embedded) {
        out += ' ';
      } else {
        out.append(marked, at + kCmt.size(), end - at - kCmt.size());
      }
      at = end + kCmtEnd.size();
    } else {
      out += marked[at++];
    }
  }
  if (!embedded) return out;
  // What the markers left of the layout: runs of blanks become one.
  for (size_t width : {8, 4, 2}) out = FoldBlanks(out, width);
  return out;
}

}  // namespace converter::script
