// The pop-up menus of the thread lists and the Help menu's version box.
// A right click on the mail lists or the download lists opens a menu that
// shows the selected entry and offers to delete it or to empty the list;
// every edit is saved to the list files at once. The gum-tape pass lists
// have no menu.
#pragma once

#include <string>

#include "monitor/core/monitor.h"

namespace yagura {

inline constexpr const char* kNothingSelected = "※何も選択していません。";

// The items of one list's pop-up menu as they are about to open.
struct ListMenu {
  std::string infoCaption;  // the selected entry, or kNothingSelected
  bool hasDelete = false;   // the download list offers INFO only
  bool hasClear = false;
  bool deleteEnabled = false;  // an entry is selected
  bool clearEnabled = false;   // the list has entries
  std::string deleteCaption;
  std::string clearCaption;
};

// True for the four lists that have a pop-up menu.
bool HasListMenu(const Form& form, const ListBox& list);
// The menu of `list` (one of the four above).
ListMenu ListMenuOf(const Form& form, const ListBox& list);

// DELETE: removes the selected entry, then selects the one before it (the
// last one when the first was removed, nothing when the list is empty), and
// saves the lists. Does nothing without a selection.
void DeleteSelectedListEntry(Monitor& monitor, ListBox& list);
// CLEAR: empties the list and saves the lists; only while an entry of it is
// selected.
void ClearListEntries(Monitor& monitor, ListBox& list);

// Help > version: the base title, an empty line and the rights notice.
void MENU_HELP_VERSION_Click(Monitor& monitor);
// The text of that box.
std::string VersionBoxText(const Monitor& monitor);

}  // namespace yagura
