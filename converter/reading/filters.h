// The filters of a run: post-count range (/r), date range (/ts) and the
// title query hook (/q).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "converter/options/options.h"

namespace converter {

bool InPostRange(int postCount, const Options& cmd);

// `time` is YYYYMMDDhhmmss; 0 (no time) never matches. A '*' position of a
// pattern matches any digit; a range whose start lies after its end wraps
// (past midnight, for instance).
bool MatchesDateFilter(const DateFilter& filter, std::uint64_t time);

// Seconds since the epoch as local YYYYMMDDhhmmss.
std::uint64_t LocalTimeDigits(long long seconds);

// Matches a title (UTF-8); built from the /q text.
using TitleQuery = std::function<bool(const std::string& title)>;

// A query of up to 30 blank-separated terms: plain terms are alternatives,
// "+term" required, "-term" excluded; width, case and blanks are ignored.
// False when the text holds no term.
bool BuildTitleQuery(const std::string& text, TitleQuery& query);

}  // namespace converter
