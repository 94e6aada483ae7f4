// The date column of a post as `hizuke` asks: weekday added, removed or
// recomputed.
#pragma once

#include <string>
#include <string_view>

namespace converter::page {

// `hizuke`: 3 add the weekday when missing, 2 remove it, 1 replace the
// board's own notation by the computed weekday, 0 leave the field. UTF-8.
std::string RewriteDateColumn(std::string_view date, int hizuke);

}  // namespace converter::page
