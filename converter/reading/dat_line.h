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
// The same into fields the caller keeps: only the first `count` are set.
void SplitCurrentForm(std::string_view line, DatFields& fields);
void SplitOldForm(std::string_view line, DatFields& fields);

// Next line of `text` from `pos` (LF-terminated, a CR before the LF
// dropped); advances `pos` past the LF. False at the end.
bool NextLine(std::string_view text, size_t& pos, std::string_view& line);

// The lines of `text` from `pos` on as NextLine gives them, each split as
// SplitCurrentForm splits it, in one pass over the bytes that finds the line
// ends and the separators together.
// True when this machine splits lines sixty-four bytes a turn.
bool WideLineBlocks();

class CurrentFormLines {
 public:
  // `wide`: sixty-four bytes a turn where the machine can (tests turn it off
  // to check the narrower turns other machines take).
  CurrentFormLines(std::string_view text, size_t pos, bool wide = WideLineBlocks())
      : text_(text), pos_(pos), wide_(wide) {}
  // False at the end; only the first `fields.count` fields are set.
  bool Next(std::string_view& line, DatFields& fields);
  // Just past the LF of the last line given, as NextLine's `pos`.
  size_t pos() const { return pos_; }

 private:
  std::string_view text_;
  size_t pos_;
  bool wide_;
};

}  // namespace converter
