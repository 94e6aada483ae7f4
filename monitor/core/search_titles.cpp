#include "monitor/core/search_titles.h"

#include <cmath>
#include <fstream>
#include <optional>
#include <unordered_map>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"
#include "common/line_ends.h"
#include "common/text_fold.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/list_index.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "monitor/core/thread_lists.h"

namespace yagura {
namespace {

constexpr std::string_view kDq = "\"";

std::string Detail(const Monitor& monitor, std::string_view text) {
  return DetailLine(monitor, text);
}

std::string Quoted(std::string_view text) {
  return std::string(kDq) + std::string(text) + std::string(kDq);
}

// A word pair with its words folded once for the whole search: matching a
// title is then one fold of the title and two plain searches, which is what
// common::ContainsFolded does for a single pair.
struct WordPair {
  bool mail = false;      // chkA or chkE on
  bool download = false;  // chkB on
  std::string word1;
  std::string word2;
};

std::vector<WordPair> PairsOf(const Form& f) {
  std::vector<WordPair> pairs(3);
  for (int i = 0; i < 3; ++i) {
    pairs[i].mail = f.chkA[i].IsOn() || f.chkE[i].IsOn();
    pairs[i].download = f.chkB[i].IsOn();
    pairs[i].word1 = common::FoldForSearch(f.txtWORD1[i].Text());
    pairs[i].word2 = common::FoldForSearch(f.txtWORD2[i].Text());
  }
  return pairs;
}

bool Matches(const WordPair& pair, const std::string& foldedTitle) {
  return foldedTitle.find(pair.word1) != std::string::npos &&
         foldedTitle.find(pair.word2) != std::string::npos;
}

// Splits a thread list line; on failure logs why and returns nullopt.
std::optional<SubjectLine> ParseLine(Monitor& monitor, std::string_view line) {
  size_t separator = line.find("<>");
  if (separator == std::string_view::npos) {
    WriteLog(monitor, Detail(monitor, "subject.txt中の1行の解析に失敗1[" + Quoted("<>") +
                                          "が存在しない:" + std::string(line) + "]"));
    return std::nullopt;
  }
  size_t open = line.rfind(" (");
  if (open == std::string_view::npos) {
    WriteLog(monitor, Detail(monitor, "subject.txt中の1行の解析に失敗2[" + Quoted(" (") +
                                          "が存在しない:" + std::string(line) + "]"));
    return std::nullopt;
  }
  SubjectLine parsed;
  // The key becomes a file name under the dat folder and part of URLs. It is
  // all the text before the "<>": anything else between them would keep the
  // download entry from matching its own line again.
  parsed.keyPart = line.substr(0, separator);
  if (!IsValidDatKey(parsed.keyPart)) {
    WriteLog(monitor, Detail(monitor, "subject.txt中の1行の解析に失敗3[" + Quoted("key.dat") +
                                          "の形式ではない:" + std::string(line) + "]"));
    return std::nullopt;
  }
  size_t titleStart = separator + 2;
  parsed.title =
      open > titleStart ? line.substr(titleStart, open - titleStart) : std::string_view();
  std::string_view count = line.substr(open + 2);
  // Without the closing parenthesis the download entry would not match its
  // own line again, and the thread would count as dropped at once.
  size_t close = count.find(')');
  if (close == std::string_view::npos) {
    WriteLog(monitor, Detail(monitor, "subject.txt中の1行の解析に失敗2[" + Quoted(")") +
                                          "が存在しない:" + std::string(line) + "]"));
    return std::nullopt;
  }
  parsed.count = count.substr(0, close);
  return parsed;
}

}  // namespace

bool HasThreadLine(std::string_view bytes) {
  while (!bytes.empty()) {
    const size_t lf = bytes.find('\n');
    std::string_view line = bytes.substr(0, lf);
    bytes = lf == std::string_view::npos ? std::string_view() : bytes.substr(lf + 1);
    const size_t separator = line.find("<>");
    const size_t open = line.rfind(" (");
    if (separator != std::string_view::npos && open != std::string_view::npos && open > separator &&
        IsValidDatKey(EntryKeyPart(line))) {
      return true;
    }
  }
  return false;
}

namespace {

void ShowBalloonIfEnabled(Monitor& monitor, std::string_view text) {
  if (monitor.form.balloonEnabled) monitor.ShowBalloon(text);
}

// The lists the matching pass looks entries up in, by key part.
struct MatchLists {
  explicit MatchLists(Form& f)
      : mailed(f.listTHREADSEND[1]),
        toMail(f.listTHREADSEND[0]),
        fallen(f.listDATDL[1]),
        downloads(f.listDATDL[0]) {}
  KeyIndex mailed;
  KeyIndex toMail;
  KeyIndex fallen;
  DownloadQueue downloads;
};

void QueueForMail(Monitor& monitor, MatchLists& lists, std::string_view line,
                  const SubjectLine& parsed) {
  Form& f = monitor.form;
  if (lists.mailed.Find(parsed.keyPart) >= 0) return;
  if (lists.toMail.Find(parsed.keyPart) >= 0) return;
  f.listTHREADSEND[0].AddItem(std::string(line));
  lists.toMail.NoteAppended();
  SaveLists(monitor);
  f.listTHREADSEND[0].SetListIndex(f.listTHREADSEND[0].Count() - 1);
  WriteLog(monitor, Detail(monitor, Quoted(parsed.title) +
                                        "をスレッド情報メール送信予定リストに追加しました..."));
  ShowBalloonIfEnabled(monitor, "メール送信予定リストに追加。\r\n" + std::string(line));
}

void QueueForDownload(Monitor& monitor, MatchLists& lists, const SubjectLine& parsed) {
  Form& f = monitor.form;
  // A thread back on the board no longer counts as dropped.
  int fallen = lists.fallen.Find(parsed.keyPart);
  if (fallen >= 0) {
    f.listDATDL[1].RemoveItem(fallen);
    SaveLists(monitor);
  }
  // The entry is refreshed with the current count and moves to the end.
  std::string entry = DownloadEntryOf(parsed);
  if (lists.downloads.Refresh(parsed.keyPart, entry)) return;
  WriteLog(monitor, Detail(monitor, Quoted(parsed.keyPart) +
                                        "をdatダウンロード予定リストに追加しました..."));
  ShowBalloonIfEnabled(monitor, "datダウンロード予定リストに追加。\r\n" + entry);
}

// The lines of the list as they would be with every line end (CR LF, LF or
// a lone CR) made CR LF, without making that copy of a large list.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text) : text_(text) {}
  // The next line; `ended` is false for a last line without a line end.
  // False when the text is used up.
  bool Next(std::string_view& line, bool& ended) {
    if (pos_ >= text_.size()) return false;
    const size_t end = text_.find_first_of("\r\n", pos_);
    if (end == std::string_view::npos) {
      line = text_.substr(pos_);
      ended = false;
      pos_ = text_.size();
      return true;
    }
    line = text_.substr(pos_, end - pos_);
    ended = true;
    pos_ = end + (text_[end] == '\r' && end + 1 < text_.size() && text_[end + 1] == '\n' ? 2 : 1);
    return true;
  }
  // The number of line ends.
  static size_t CountLineEnds(std::string_view text) {
    size_t count = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' || (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))) {
        ++count;
      }
    }
    return count;
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

// Pass 1: returns false when the user stopped the run.
bool MatchTitles(Monitor& monitor, std::string_view text) {
  Form& f = monitor.form;
  const std::vector<WordPair> pairs = PairsOf(f);
  MatchLists lists(f);

  // A text without a line end has no line to examine, so the progress never
  // divides by zero.
  const size_t total = LineCursor::CountLineEnds(text);
  size_t examined = 0;
  int shownPercent = -1;
  LineCursor lines(text);
  std::string_view line;
  bool ended = false;
  while (lines.Next(line, ended)) {
    if (!ended) break;  // a last line without a line end is not examined

    const size_t remaining = total - examined;
    const int percent =
        100 - static_cast<int>(std::nearbyint(static_cast<double>(remaining) / total * 100));
    if (percent != 0 && percent % 10 == 0 && percent != shownPercent) {
      shownPercent = percent;
      f.Form1.SetCaption("スレッドタイトルを検索しています..." + std::to_string(percent) +
                         "%完了 - " + f.baseTitle);
    }
    monitor.PumpOnce();

    if (std::optional<SubjectLine> parsed = ParseLine(monitor, line)) {
      std::optional<std::string> foldedTitle;
      for (const WordPair& pair : pairs) {
        monitor.PumpOnce();
        if (!pair.mail && !pair.download) continue;
        if (!foldedTitle) foldedTitle = common::FoldForSearch(parsed->title);
        if (!Matches(pair, *foldedTitle)) continue;
        if (pair.mail) QueueForMail(monitor, lists, line, *parsed);
        if (pair.download) QueueForDownload(monitor, lists, *parsed);
      }
    }

    ++examined;
    if (StopRequested(monitor)) {
      lists.downloads.Flush();
      StopTail(monitor);
      return false;
    }
  }
  return true;  // the download list gets its refreshes as `lists` goes
}

// The board's lines by key part (ASCII letters in lower case), so that
// "is this entry still listed" looks at the lines of one key only. Only the
// keys of `entries` (the download list) are kept.
class BoardIndex {
 public:
  BoardIndex(std::string_view text, const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) linesByKey_[LowerAscii(EntryKeyPart(entry))];
    LineCursor lines(text);
    std::string_view line;
    bool ended = false;
    while (lines.Next(line, ended)) {
      if (line.empty()) continue;
      auto found = linesByKey_.find(LowerAscii(EntryKeyPart(line)));
      if (found != linesByKey_.end()) found->second.push_back(line);
    }
  }

  // True when a line of the board begins with `rebuilt`, ignoring case
  // (and width and kana type, as the title matching does).
  bool Lists(std::string_view keyPart, std::string_view rebuilt) const {
    auto found = linesByKey_.find(LowerAscii(keyPart));
    if (found == linesByKey_.end()) return false;
    std::optional<std::string> foldedProbe;
    for (std::string_view line : found->second) {
      if (line.starts_with(rebuilt)) return true;
      if (!foldedProbe) foldedProbe = common::FoldForSearch(rebuilt);
      if (common::FoldForSearch(line).starts_with(*foldedProbe)) return true;
    }
    return false;
  }

 private:
  static std::string LowerAscii(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    return lower;
  }
  std::unordered_map<std::string, std::vector<std::string_view>> linesByKey_;
};

// Where the "レス>" after an entry's count ends: the count is the one the
// entry ends with ("... (count)"), and it may itself hold a ">" when the
// board's line did; the first ">" would then cut it, the rebuilt line would
// not match the board's, and a listed thread would be taken for dropped. An
// entry not of that form falls back to its first ">".
size_t CountEnd(std::string_view entry, size_t lt) {
  constexpr std::string_view kPosts = "レス>";
  const size_t open = entry.rfind(" (");
  if (lt != std::string_view::npos && open != std::string_view::npos && entry.ends_with(')')) {
    const std::string_view count = entry.substr(open + 2, entry.size() - open - 3);
    const std::string_view head = entry.substr(lt + 1);
    if (head.starts_with(count) && head.substr(count.size()).starts_with(kPosts)) {
      return lt + count.size() + kPosts.size();
    }
  }
  return entry.find('>');
}

// A log that can take no more posts: 1001 lines or more than 512 KB.
bool CannotTakePosts(Monitor& monitor, const std::string& datPath) {
  const std::optional<FileStamp> stamp = StampOf(datPath);
  if (!stamp) return false;
  if (stamp->size / 1024 > kBigThreadKilobytes) return true;
  return monitor.lineCounts.CountUpTo(datPath, *stamp, kFullThreadLines) >= kFullThreadLines;
}

// Pass 2: returns false when the user stopped the run.
bool FindDroppedThreads(Monitor& monitor, std::string_view text) {
  Form& f = monitor.form;
  f.Form1.SetCaption("dat落ちスレッドを検索しています... - " + f.baseTitle);
  ListBox& downloads = f.listDATDL[0];
  if (downloads.Count() == 0) return true;
  const BoardIndex board(text, downloads.Items());
  monitor.lineCounts.StartPass();
  const int startCount = downloads.Count();
  for (int j = 0; j < startCount;) {
    const std::optional<std::string> selected = SelectWithEvents(monitor, downloads, j);
    if (!selected) break;  // a nested list command may have emptied it
    const std::string entry = *selected;
    bool dropped = false;
    size_t lt = entry.find('<');
    size_t gt = CountEnd(entry, lt);
    if (entry.empty()) {
    } else if (lt == std::string::npos || gt == std::string::npos) {
      WriteLog(monitor, Detail(monitor, "subject.txt解析に失敗1[" + Quoted("<") + "と" +
                                            Quoted(">") + "が存在しない:" + entry + "]"));
    } else if (std::string_view rest = std::string_view(entry).substr(gt + 1);
               rest.rfind(" (") == std::string_view::npos) {
      WriteLog(monitor, Detail(monitor, "subject.txt解析に失敗2[" + Quoted(" (") +
                                            "が存在しない:" + std::string(rest) + "]"));
    } else if (std::string_view keyPart = EntryKeyPart(entry); !IsValidDatKey(keyPart)) {
      WriteLog(monitor, Detail(monitor, "subject.txt解析に失敗3[" + Quoted("key.dat") +
                                            "の形式ではない:" + entry + "]"));
    } else {
      std::string_view title = rest.substr(0, rest.rfind(" ("));
      // The thread list line as it was when the entry was last refreshed.
      std::string rebuilt = entry.substr(0, lt + 1) + entry.substr(gt);
      const std::string datPath = monitor.paths.DatFolder() + std::string(keyPart);
      if (board.Lists(keyPart, rebuilt)) {
        if (CannotTakePosts(monitor, datPath)) {
          WriteLog(monitor,
                   Detail(monitor, Quoted(title) + "[" + std::string(keyPart) +
                                       "]には書き込めませんがdat落ちしていないのでLZH圧縮、"
                                       "html化、アップロードをスキップします"));
        }
      } else {
        dropped = true;
        const std::string titleText(title);
        WriteLog(monitor, Detail(monitor, Quoted(title) + "[" + std::string(keyPart) +
                                              "]はdat落ちしています"));
        monitor.datFallCutShort = false;
        if (monitor.processDroppedThread) monitor.processDroppedThread(titleText, datPath);
        if (monitor.datFallCutShort) {
          // A stop or an exit ended the conversion before the page was made:
          // the thread stays followed, so that the next search, after a
          // restart too, processes it again.
          monitor.datFallCutShort = false;
          if (StopRequested(monitor)) StopTail(monitor);
          return false;
        }
        // Nested events may have changed the list meanwhile: move the entry
        // itself, wherever it stands now.
        f.listDATDL[1].AddItem(entry);
        downloads.RemoveItem(IndexOfEntry(downloads, entry, j));
        // The dat-fall list is kept across restarts: keep its file current.
        SaveLists(monitor);
        f.listDATDL[1].SetListIndex(f.listDATDL[1].Count() - 1);
        if (j < downloads.Count()) downloads.SetListIndex(j);
      }
    }
    if (!dropped) ++j;  // after a drop the next entry has moved up to index j
    if (StopRequested(monitor)) {
      StopTail(monitor);
      return false;
    }
  }
  downloads.SetListIndex(-1);
  return true;
}

}  // namespace

std::string DownloadEntryOf(const SubjectLine& line) {
  std::string entry;
  entry.reserve(line.keyPart.size() + line.title.size() + 2 * line.count.size() + 16);
  entry += line.keyPart;
  entry += "<";
  entry += line.count;
  entry += "レス>";
  entry += line.title;
  entry += " (";
  entry += line.count;
  entry += ")";
  return entry;
}

long long CountLineFeedsUpTo(const std::string& path, long long limit) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  long long count = 0;
  char buffer[65536];
  while (count < limit && in) {
    in.read(buffer, sizeof buffer);
    count += static_cast<long long>(
        common::CountLineFeeds(std::string_view(buffer, static_cast<size_t>(in.gcount()))));
  }
  return count;
}

bool SearchTitles(Monitor& monitor, const std::string& subjectPath) {
  monitor.form.cmdRUN.SetCaption(Detail(monitor, "スレッドタイトルを検索しています..."));
  std::optional<std::string> bytes = common::ReadWholeFile(subjectPath);
  if (!bytes) return false;
  const std::string text = common::Cp932ToUtf8(*bytes);
  if (!MatchTitles(monitor, text)) return false;
  // Every line, the first included, follows a CR LF on the board's side.
  return FindDroppedThreads(monitor, text);
}

void InstallSearchTitles(Monitor& monitor) {
  monitor.steps.searchTitles = [&monitor](const std::string& subjectPath) {
    return SearchTitles(monitor, subjectPath);
  };
}

}  // namespace yagura
