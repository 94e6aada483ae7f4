// Splitting one line of a log into its fields.
#pragma once

#include <string_view>

namespace converter {

inline constexpr int kMaxFields = 7;

struct DatFields {
  std::string_view field[kMaxFields];
  int count = 0;
};

// Current form ("<>") when the line holds "<>", else the old comma form (at
// most 8 separators read). At most 7 fields are taken.
DatFields SplitDatLine(std::string_view line, bool* oldForm = nullptr);
DatFields SplitCurrentForm(std::string_view line);
DatFields SplitOldForm(std::string_view line);

// Next line of `text` from `pos` (LF-terminated, a CR before the LF
// dropped); advances `pos` past the LF. False at the end.
bool NextLine(std::string_view text, size_t& pos, std::string_view& line);

}  // namespace converter
