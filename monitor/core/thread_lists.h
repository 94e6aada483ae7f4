// The thread lists: the six list boxes are the monitor's working state. The
// three lower boxes are kept in list files across restarts; the download list
// is written as an informational plan file after each download; dropped
// threads queue announcements in the Twitter queue file.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/core/monitor.h"

namespace yagura {

// The text before an entry's first "<" ("123.dat"); the same thread when equal.
std::string_view EntryKeyPart(std::string_view entry);
// True for a key part made of decimal digits + ".dat": only such keys may
// become file names under the dat folder.
bool IsValidDatKey(std::string_view keyPart);

// The one way to walk a list while events are pumped: selects entry `index`
// and pumps once (a nested list command may change the list meanwhile).
// Returns the entry now at `index`, or nothing when the list has become
// shorter than that (then nothing was selected or pumped).
std::optional<std::string> SelectWithEvents(Monitor& monitor, ListBox& list, int index);
// Where `entry` stands now: at `hint` when it is still there, else its last
// place in the list; -1 when it is gone.
int IndexOfEntry(const ListBox& list, const std::string& entry, int hint);

// Writes _Thread.lst, _Dat1001.lst and _Gumtape.lst from the index-1 boxes,
// each replaced atomically. False when any of them cannot be written.
bool SaveLists(Monitor& monitor);

// Appends the entries of the three list files to the index-1 boxes. An entry
// whose key part is not digits + ".dat" is skipped and told in `skipped`
// (optional) as "file: line". False when an existing file cannot be read.
bool LoadLists(Monitor& monitor, std::vector<std::string>* skipped = nullptr);

// The download plan file (_dat.lst): the download list with a head and a tail.
// It is kept across a restart, so that a followed thread that drops while the
// monitor is stopped is still found dropped by the first title search.
bool SaveDownloadPlan(Monitor& monitor);
// Appends the plan file's entries to the download list, except those already
// in it or in the dat-fall list. False when the file exists but cannot be read.
bool LoadDownloadPlan(Monitor& monitor);

// The announcement queue (_Twitter.dat): announcements each ended by a TAB.
bool SaveTwitterQueue(Monitor& monitor, std::string_view text);
// A single TAB when there is no file; "" for an empty file.
std::string LoadTwitterQueue(Monitor& monitor);
bool AppendTwitterAnnouncement(Monitor& monitor, std::string_view announcement);

// The text between the tags, joined; "" when the text lacks "<" or ">". A
// trailing "<" without a ">" after it is dropped. The Monitor form pumps
// events on every round, as a long text may take a while.
std::string StripTags(std::string_view text);
std::string StripTags(Monitor& monitor, std::string_view text);

}  // namespace yagura
