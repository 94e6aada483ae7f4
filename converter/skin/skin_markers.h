// Markers of the skin templates ("<THREADNAME/>", "<MESSAGE/>", ...) and
// their replacement.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace converter::skin {

// Marker names (without "<" and "/>") and their values.
using MarkerValues = std::vector<std::pair<std::string_view, std::string>>;

// Appends `text` to `out` with every marker of `values` replaced at every
// place it occurs (case-sensitive). The values are put in as they are and
// never scanned again, so a value that holds a marker's text stays text.
// Markers not in `values` stay as written.
void FillMarkers(std::string& out, std::string_view text, const MarkerValues& values);

// True when `text` holds the marker `name`.
bool HasMarker(std::string_view text, std::string_view name);

}  // namespace converter::skin
