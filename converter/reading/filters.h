// The filters of a run: post-count range (/r) and date range (/ts); the
// title query (/q) lives in converter/query.
#pragma once

#include <cstdint>
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

}  // namespace converter
