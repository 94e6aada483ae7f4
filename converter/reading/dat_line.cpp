#include "converter/reading/dat_line.h"

#include <cstring>

namespace converter {

DatFields SplitCurrentForm(std::string_view line) {
  DatFields out;
  const char* begin = line.data();
  const char* end = begin + line.size();
  const char* start = begin;
  const char* p = begin;
  while (out.count < kMaxFields) {
    const char* lt = static_cast<const char*>(std::memchr(p, '<', end - p));
    while (lt && (lt + 1 >= end || lt[1] != '>')) {
      lt = lt + 1 < end ? static_cast<const char*>(std::memchr(lt + 1, '<', end - lt - 1))
                        : nullptr;
    }
    if (!lt) {
      out.field[out.count++] = std::string_view(start, end - start);
      break;
    }
    out.field[out.count++] = std::string_view(start, lt - start);
    start = p = lt + 2;
    if (start == end && out.count < kMaxFields) {
      out.field[out.count++] = std::string_view(start, 0);
      break;
    }
  }
  return out;
}

DatFields SplitOldForm(std::string_view line) {
  DatFields out;
  int separators = 0;
  size_t start = 0;
  while (out.count < kMaxFields) {
    size_t comma = separators < 8 ? line.find(',', start) : std::string_view::npos;
    if (comma == std::string_view::npos) {
      out.field[out.count++] = line.substr(start);
      break;
    }
    ++separators;
    out.field[out.count++] = line.substr(start, comma - start);
    start = comma + 1;
  }
  return out;
}

DatFields SplitDatLine(std::string_view line, bool* oldForm) {
  bool current = line.find("<>") != std::string_view::npos;
  if (oldForm) *oldForm = !current;
  return current ? SplitCurrentForm(line) : SplitOldForm(line);
}

bool NextLine(std::string_view text, size_t& pos, std::string_view& line) {
  if (pos >= text.size()) return false;
  const char* begin = text.data() + pos;
  const char* lf = static_cast<const char*>(std::memchr(begin, '\n', text.size() - pos));
  size_t length = lf ? static_cast<size_t>(lf - begin) : text.size() - pos;
  pos += length + (lf ? 1 : 0);
  if (length > 0 && begin[length - 1] == '\r') --length;
  line = std::string_view(begin, length);
  return true;
}

}  // namespace converter
