#include "converter/index/sorting.h"

#include <algorithm>
#include <string>
#include <unordered_map>

#include "common/encoding.h"

namespace converter::index {

void SortEntries(std::vector<const IndexEntry*>& entries, char key, char order) {
  if (key == 'x') return;
  bool ascending = order == 'u';
  if (key == 'r') ascending = !ascending;
  auto sortBy = [&](auto keyOf) {
    using Key = decltype(keyOf(*entries.front()));
    std::vector<std::pair<Key, const IndexEntry*>> keyed;
    keyed.reserve(entries.size());
    for (const IndexEntry* e : entries) keyed.emplace_back(keyOf(*e), e);
    // stable_sort with a strict "less" in either direction keeps arrival order for equal keys.
    if (ascending) {
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const auto& a, const auto& b) { return a.first < b.first; });
    } else {
      std::stable_sort(keyed.begin(), keyed.end(),
                       [](const auto& a, const auto& b) { return b.first < a.first; });
    }
    for (size_t i = 0; i < keyed.size(); ++i) entries[i] = keyed[i].second;
  };
  if (entries.empty()) return;
  switch (key) {
    case 'n':
      // Byte order of Shift_JIS, unsigned.
      sortBy([](const IndexEntry& e) {
        std::string bytes = common::Utf8ToCp932(e.title);
        return std::basic_string<unsigned char>(bytes.begin(), bytes.end());
      });
      break;
    case 'f':
      sortBy([](const IndexEntry& e) { return e.firstPostTime; });
      break;
    case 'L':
      sortBy([](const IndexEntry& e) { return e.lastPostTime; });
      break;
    case 'r':
      sortBy([](const IndexEntry& e) { return e.posts; });
      break;
    default:  // 'l'
      sortBy([](const IndexEntry& e) { return e.lastNonSageTime; });
      break;
  }
}

}  // namespace converter::index
