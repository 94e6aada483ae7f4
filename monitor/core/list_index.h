// Indexes by key part for the thread lists during a title search, so that a
// search over a large board with many followed threads stays linear: a
// lookup is a hash probe instead of a scan, and the download list's
// "remove and append at the end" is recorded instead of shifting the list
// for every match.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "monitor/core/form.h"

namespace yagura {

// Where each key part first stands in a list box. Rebuilt whenever the list
// changed behind its back (a nested list command while events were pumped).
class KeyIndex {
 public:
  explicit KeyIndex(const ListBox& list) : list_(list) {}
  // The first index of an entry with this key part, or -1.
  int Find(std::string_view keyPart);
  // The list got one entry at its end from the caller itself.
  void NoteAppended();

 private:
  void Rebuild();
  const ListBox& list_;
  std::uint64_t revision_ = ~std::uint64_t{0};
  std::unordered_map<std::string, int> first_;
};

// The download list during the matching pass. Refreshing an entry removes
// the first entry of its key and appends the new one; instead of shifting the
// list box for every match, the refreshes are recorded here and made in one
// go when anyone reads or changes the list box (ListBox::SetPending), or at
// the end of the pass, in the order the box would have had.
class DownloadQueue {
 public:
  explicit DownloadQueue(ListBox& list) : list_(list) {}
  ~DownloadQueue() { Flush(); }
  DownloadQueue(const DownloadQueue&) = delete;
  DownloadQueue& operator=(const DownloadQueue&) = delete;
  // True when the list held an entry of this key part (it is replaced).
  bool Refresh(std::string_view keyPart, std::string entry);
  void Flush() { list_.ApplyPending(); }

 private:
  void Load();
  void Apply();
  ListBox& list_;
  bool loaded_ = false;
  std::uint64_t revision_ = 0;
  // The list as it will be: a refreshed entry leaves a hole.
  struct Slot {
    std::string entry;
    bool removed = false;
  };
  std::vector<Slot> slots_;
  // The slots of each key part, in list order (the first is the one a
  // refresh removes).
  std::unordered_map<std::string, std::vector<size_t>> slotsByKey_;
  bool pending_ = false;
};

}  // namespace yagura
