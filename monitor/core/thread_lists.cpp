#include "monitor/core/thread_lists.h"

#include <algorithm>

#include "common/encoding.h"
#include "common/file_io.h"
#include "common/line_ends.h"
#include "monitor/core/message_text.h"

namespace yagura {
namespace {

// The three kept lists: file suffix, the text of its first and last line and
// the box it keeps.
struct KeptList {
  std::string_view suffix;
  std::string_view headText;
  ListBox& box;
};

std::vector<KeptList> KeptLists(Form& f) {
  return {
      {"_Thread.lst", " メール送信済みスレッド情報リスト", f.listTHREADSEND[1]},
      {"_Dat1001.lst", " dat落ちスレッド情報リスト", f.listDATDL[1]},
      {"_Gumtape.lst", " メール送信済みガムテパスリスト", f.listGUMPASS[1]},
  };
}

std::string TitleOf(const Monitor& monitor) {
  return monitor.form.baseTitle.empty() ? BaseTitleText() : monitor.form.baseTitle;
}

bool WriteTextLines(const std::string& path, const std::vector<std::string>& lines) {
  return common::ReplaceFileAtomically(path, common::Utf8ToCp932(common::JoinCrLfLines(lines)));
}

// The lines of a CP932 text file; lines may end in CR LF, LF or CR.
std::optional<std::vector<std::string>> ReadTextLines(const std::string& path) {
  auto bytes = common::ReadWholeFile(path);
  if (!bytes) return std::nullopt;
  std::string text = common::NormalizeToCrLf(common::Cp932ToUtf8(*bytes));
  std::vector<std::string> lines;
  for (std::string_view line : common::SplitCrLfLines(text)) lines.emplace_back(line);
  return lines;
}

}  // namespace

std::string_view EntryKeyPart(std::string_view entry) { return entry.substr(0, entry.find('<')); }

bool IsValidDatKey(std::string_view keyPart) {
  constexpr std::string_view kDat = ".dat";
  if (keyPart.size() <= kDat.size() || keyPart.substr(keyPart.size() - kDat.size()) != kDat) {
    return false;
  }
  for (char c : keyPart.substr(0, keyPart.size() - kDat.size())) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool SaveLists(Monitor& monitor) {
  bool ok = true;
  for (const KeptList& list : KeptLists(monitor.form)) {
    const std::string head = ";--" + TitleOf(monitor) + std::string(list.headText);
    std::vector<std::string> lines;
    lines.reserve(list.box.Items().size() + 2);
    lines.push_back(head);
    for (const std::string& item : list.box.Items()) lines.push_back(item);
    lines.push_back(head);
    if (!WriteTextLines(monitor.paths.File(list.suffix), lines)) ok = false;
  }
  return ok;
}

bool LoadLists(Monitor& monitor, std::vector<std::string>* skipped) {
  bool ok = true;
  for (const KeptList& list : KeptLists(monitor.form)) {
    const std::string path = monitor.paths.File(list.suffix);
    if (!common::FileExists(path)) continue;
    auto lines = ReadTextLines(path);
    if (!lines) {
      ok = false;
      continue;
    }
    std::vector<std::string> items = list.box.Items();
    for (std::string& line : *lines) {
      // The head and tail lines; an entry always holds "<>".
      if (line.rfind(";--", 0) == 0 && line.find("<>") == std::string::npos) continue;
      if (!IsValidDatKey(EntryKeyPart(line))) {
        if (skipped) skipped->push_back(path + ": " + line);
        continue;
      }
      items.push_back(std::move(line));
    }
    list.box.SetItems(std::move(items));
  }
  return ok;
}

bool SaveDownloadPlan(Monitor& monitor) {
  std::vector<std::string> lines;
  lines.push_back(std::string(kStepPrefix) + "ダウンロード予定datリスト(" + monitor.Time() + ")");
  for (const std::string& item : monitor.form.listDATDL[0].Items()) lines.push_back(item);
  lines.push_back(std::string(kStepPrefix) + "終わり");
  const std::string path = monitor.paths.File("_dat.lst");
  const std::string bytes = common::Utf8ToCp932(common::JoinCrLfLines(lines));
  // Only the time in the first line changed (an unchanged cycle): the bytes
  // go over the old ones in place. A crash midway leaves a plan that differs
  // at most in its time; a new file and a rename would cost more than the
  // rest of the cycle's bookkeeping.
  if (const std::optional<std::string> oldBytes = common::ReadWholeFile(path);
      oldBytes && oldBytes->size() == bytes.size()) {
    const size_t firstEnd = bytes.find("\r\n");
    if (firstEnd != std::string::npos && oldBytes->find("\r\n") == firstEnd &&
        oldBytes->compare(firstEnd, std::string::npos, bytes, firstEnd) == 0) {
      return common::ReplaceScratchFile(path, bytes);
    }
  }
  // The plan is rewritten every cycle for its time line, but it only needs
  // to reach the disk when the followed threads changed: a restart rebuilds
  // the download list from it.
  const std::optional<std::vector<std::string>> old = ReadTextLines(path);
  const bool sameEntries = old && old->size() == lines.size() &&
                           std::equal(lines.begin() + 1, lines.end(), old->begin() + 1);
  return common::ReplaceFileAtomically(
      path, bytes, 0644,
      sameEntries ? common::Durability::kUnflushed : common::Durability::kFlushed);
}

bool LoadDownloadPlan(Monitor& monitor) {
  const std::string path = monitor.paths.File("_dat.lst");
  if (!common::FileExists(path)) return true;
  auto lines = ReadTextLines(path);
  if (!lines) return false;
  ListBox& downloads = monitor.form.listDATDL[0];
  const ListBox& fallen = monitor.form.listDATDL[1];
  auto listed = [](const ListBox& list, std::string_view key) {
    for (const std::string& item : list.Items()) {
      if (EntryKeyPart(item) == key) return true;
    }
    return false;
  };
  for (const std::string& line : *lines) {
    // The head and tail lines hold no key; a thread already handed to the
    // dat-fall processing (a stop between the two saves) is not taken again.
    std::string_view key = EntryKeyPart(line);
    if (!IsValidDatKey(key) || listed(downloads, key) || listed(fallen, key)) continue;
    downloads.AddItem(line);
  }
  return true;
}

bool SaveTwitterQueue(Monitor& monitor, std::string_view text) {
  return common::ReplaceFileAtomically(monitor.paths.File("_Twitter.dat"),
                                       common::Utf8ToCp932(text));
}

std::string LoadTwitterQueue(Monitor& monitor) {
  const std::string path = monitor.paths.File("_Twitter.dat");
  if (!common::FileExists(path)) return "\t";
  auto lines = ReadTextLines(path);
  if (!lines) return "\t";
  std::string result;
  for (const std::string& line : *lines) {
    result += line;
    result += "\r\n";
  }
  // Whatever follows the last TAB is no finished announcement.
  size_t tab = result.rfind('\t');
  return tab == std::string::npos ? std::string() : result.substr(0, tab + 1);
}

bool AppendTwitterAnnouncement(Monitor& monitor, std::string_view announcement) {
  // A queue that exists but cannot be read must not be replaced by the new
  // announcement alone: that would lose every queued one.
  const std::string path = monitor.paths.File("_Twitter.dat");
  if (common::FileExists(path) && !common::ReadWholeFile(path)) return false;
  std::string queue = LoadTwitterQueue(monitor);
  if (queue == "\t") queue.clear();
  queue += announcement;
  queue += '\t';
  return SaveTwitterQueue(monitor, queue);
}

namespace {

std::string StripTagsPumping(Monitor* monitor, std::string_view text) {
  if (text.find('<') == std::string_view::npos || text.find('>') == std::string_view::npos) {
    return {};
  }
  std::string result;
  std::string_view rest = text;
  while (!rest.empty()) {
    if (monitor) monitor->PumpOnce();
    if (rest[0] == '<' || rest[0] == '>') {
      size_t close = rest.find('>');
      // A tag that never closes: drop the fragment instead of looping on it.
      if (close == std::string_view::npos) break;
      rest.remove_prefix(close + 1);
    } else if (size_t open = rest.find('<'); open != std::string_view::npos) {
      result += rest.substr(0, open);
      rest.remove_prefix(open);
    } else {
      result += rest;
      break;
    }
  }
  return result;
}

}  // namespace

std::string StripTags(std::string_view text) { return StripTagsPumping(nullptr, text); }
std::string StripTags(Monitor& monitor, std::string_view text) {
  return StripTagsPumping(&monitor, text);
}

std::optional<std::string> SelectWithEvents(Monitor& monitor, ListBox& list, int index) {
  if (index < 0 || index >= list.Count()) return std::nullopt;
  list.SetListIndex(index);
  monitor.PumpOnce();
  if (index >= list.Count()) return std::nullopt;
  return list.Item(index);
}

int IndexOfEntry(const ListBox& list, const std::string& entry, int hint) {
  if (hint >= 0 && hint < list.Count() && list.Item(hint) == entry) return hint;
  int at = -1;
  const auto& items = list.Items();
  for (size_t k = 0; k < items.size(); ++k) {
    if (items[k] == entry) at = static_cast<int>(k);
  }
  return at;
}

}  // namespace yagura
