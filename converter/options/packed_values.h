// Readers of the option values that pack many switches into one argument:
// the hexadecimal /m, /js and /o words and the letter strings of /i, /a,
// /r, /s and /ts. Each fills its part of the option record.
#pragma once

#include <string>
#include <string_view>

#include "converter/options/options.h"

namespace converter {

// /m: up to 16 hex digits, padded on the right to 9. Sets every /m field;
// txtsearch only when /js has not set it.
void ApplyMValue(std::string_view value, Mode mode, Options& cmd);
// /m without a value: only link_backtoboard and link_moto off.
void ApplyBareM(Options& cmd);

// /js: three hex digits, padded on the right; bare /js turns the pop-ups on.
void ApplyJsValue(std::string_view value, Options& cmd);
void ApplyBareJs(Options& cmd);

// /o: the first six characters as one hex number (a shorter value counts
// from the right).
void ApplyOWord(std::uint32_t word, OSwitches& o);
std::uint32_t ReadOValue(std::string_view value);

// /i: `separator` is the character after the option letter (0 when bare).
void ApplyIndexValue(bool decorated, char separator, std::string_view value, IndexSettings& i);

// /a: false when the value names no layout letter, r or c.
bool ApplyFolderLetters(std::string_view value, Options& cmd);

// /r=min-max.
void ApplyRange(std::string_view value, Options& cmd);

// /s[=][1][c][:"file"]; `value` starts after the option letter.
void ApplySubfolders(std::string_view value, Options& cmd);

// /ts=[date][-][date],[c|f|l|m].
void ApplyDateFilter(std::string_view value, DateFilter& ts);

// Outer double quotes removed.
std::string Unquote(std::string_view text);

}  // namespace converter
