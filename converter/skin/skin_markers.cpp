#include "converter/skin/skin_markers.h"

namespace converter::skin {

void FillMarkers(std::string& out, std::string_view text, const MarkerValues& values) {
  size_t done = 0;
  for (size_t at = text.find('<'); at != std::string_view::npos; at = text.find('<', at + 1)) {
    // A marker is upper-case letters and underscores closed by "/>".
    size_t end = at + 1;
    while (end < text.size() && ((text[end] >= 'A' && text[end] <= 'Z') || text[end] == '_')) {
      ++end;
    }
    if (end == at + 1 || text.compare(end, 2, "/>") != 0) continue;
    std::string_view name = text.substr(at + 1, end - at - 1);
    for (const auto& [marker, value] : values) {
      if (name != marker) continue;
      out.append(text, done, at - done);
      out += value;
      done = end + 2;
      at = end + 1;
      break;
    }
  }
  out.append(text, done);
}

bool HasMarker(std::string_view text, std::string_view name) {
  return text.find("<" + std::string(name) + "/>") != std::string_view::npos;
}

}  // namespace converter::skin
