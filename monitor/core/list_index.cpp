#include "monitor/core/list_index.h"

#include "monitor/core/thread_lists.h"

namespace yagura {

int KeyIndex::Find(std::string_view keyPart) {
  if (revision_ != list_.Revision()) Rebuild();
  auto found = first_.find(std::string(keyPart));
  return found == first_.end() ? -1 : found->second;
}

void KeyIndex::NoteAppended() {
  if (revision_ + 1 != list_.Revision()) return;  // Find rebuilds
  const int last = list_.Count() - 1;
  first_.try_emplace(std::string(EntryKeyPart(list_.Item(last))), last);
  revision_ = list_.Revision();
}

void KeyIndex::Rebuild() {
  first_.clear();
  first_.reserve(list_.Items().size());
  for (size_t i = 0; i < list_.Items().size(); ++i) {
    first_.try_emplace(std::string(EntryKeyPart(list_.Items()[i])), static_cast<int>(i));
  }
  revision_ = list_.Revision();
}

void DownloadQueue::Load() {
  slots_.clear();
  slotsByKey_.clear();
  const std::vector<std::string>& items = list_.Items();
  slots_.reserve(items.size());
  for (const std::string& entry : items) {
    slotsByKey_[std::string(EntryKeyPart(entry))].push_back(slots_.size());
    slots_.push_back({entry});
  }
  revision_ = list_.Revision();
  loaded_ = true;
  // The list box is the truth now: what was recorded has been made, or was
  // dropped by a SetItems, and a new refresh must ask to be made again.
  pending_ = false;
}

bool DownloadQueue::Refresh(std::string_view keyPart, std::string entry) {
  // A nested command may have changed the list since it was last read here.
  if (!loaded_ || revision_ != list_.Revision()) Load();
  std::vector<size_t>& slots = slotsByKey_[std::string(keyPart)];
  const bool replaced = !slots.empty();
  if (replaced) {
    slots_[slots.front()].removed = true;
    slots.erase(slots.begin());
  }
  slots.push_back(slots_.size());
  slots_.push_back({std::move(entry)});
  if (!pending_) {
    pending_ = true;
    list_.SetPending([this] { Apply(); });
  }
  return replaced;
}

void DownloadQueue::Apply() {
  pending_ = false;
  std::vector<std::string> items;
  items.reserve(slots_.size());
  for (Slot& slot : slots_) {
    if (!slot.removed) items.push_back(std::move(slot.entry));
  }
  // The entries moved out: the next refresh reads the list box again.
  loaded_ = false;
  list_.SetItems(std::move(items));
  list_.SetListIndex(list_.Count() - 1);
}

}  // namespace yagura
