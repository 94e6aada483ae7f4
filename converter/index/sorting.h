// The order of the thread lists: by the /i sort key and order letter, equal
// keys keeping the order in which the entries arrived.
#pragma once

#include <vector>

#include "converter/index/index_entry.h"

namespace converter::index {

// key: n title (as Shift_JIS bytes), f first post, l latest post without
// sage, L latest post, r post count, x arrival order. order: u or d; for r
// the letters work the other way round (d fewest posts first).
void SortEntries(std::vector<const IndexEntry*>& entries, char key, char order);

}  // namespace converter::index
