#include "converter/index/index_pages.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>

#include "common/file_io.h"
#include "converter/index/index_names.h"
#include "converter/index/sorting.h"
#include "converter/page/markup_filter.h"
#include "converter/page/page_converter.h"
#include "converter/reading/kanjicode.h"
#include "converter/reading/thread_reader.h"

namespace converter::index {
namespace {

// A transparent 1x1 image, written when the program folder has no bg.gif.
constexpr unsigned char kBlankGif[] = {
    0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xff, 0xff, 0xff, 0x21, 0xf9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2c, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3b};

// What made a folder of the output: a /a letter, 'K' the archive's "kako"
// folder, 'G' the five-digit archive folder, 'r' any other folder.
struct Level {
  const char* header;
  const char* title;
};

Level LevelOf(char tag) {
  switch (tag) {
    case 'B':
      return {"掲示板名　", "掲示板一覧"};
    case 's':
      return {"サーバ　", "サーバ一覧"};
    case 'b':
    case 'n':
      return {"板名　", "板一覧"};
    case 'f':
      return {"スレッドキー", "スレッドキー別一覧"};
    case 'F':
      return {"倉庫番号", "スレッドキー別一覧"};
    case 'G':
      return {"倉庫番号", "スレッドキー5桁のリスト"};
    case 'd':
      return {"日付　", "日付別一覧"};
    default:
      return {"フォルダ", "フォルダ一覧"};
  }
}

std::vector<std::string> Components(const std::string& folder) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start < folder.size()) {
    size_t slash = folder.find('/', start);
    if (slash == std::string::npos) slash = folder.size();
    if (slash > start) parts.push_back(folder.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

bool AllDigits(const std::string& s, size_t length) {
  if (s.size() != length) return false;
  for (char c : s) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The tag of each component of an entry's list folder.
std::vector<char> TagsOf(const IndexEntry& e, const std::string& folder,
                         const std::string& letters) {
  std::vector<std::string> all = Components(folder);
  std::vector<char> tags(all.size(), 'r');
  if (e.letterPath.empty() || folder.size() < e.letterPath.size() ||
      folder.compare(folder.size() - e.letterPath.size(), std::string::npos, e.letterPath) != 0) {
    return tags;
  }
  std::vector<std::string> lettered = Components(e.letterPath);
  size_t at = all.size() - lettered.size();
  for (size_t li = 0; li < letters.size() && at < all.size(); ++li) {
    char letter = letters[li];
    if (letter != 'F') {
      tags[at++] = letter;
      continue;
    }
    if (li > 0 && all[at] == "kako") tags[at++] = 'K';
    if (at >= all.size()) break;
    bool fourDigits = AllDigits(all[at], 4);
    tags[at++] = 'F';
    if (fourDigits && at < all.size() && AllDigits(all[at], 5)) tags[at++] = 'G';
  }
  return tags;
}

std::string ParentOf(const std::string& folder) {
  if (folder.size() < 2) return "";
  size_t slash = folder.rfind('/', folder.size() - 2);
  return slash == std::string::npos ? "" : folder.substr(0, slash + 1);
}

std::string LastOf(const std::string& folder) {
  std::string parent = ParentOf(folder);
  return folder.substr(parent.size(), folder.size() - parent.size() - 1);
}

int DepthOf(const std::string& folder) {
  return static_cast<int>(std::count(folder.begin(), folder.end(), '/'));
}

struct Node {
  std::vector<size_t> list;        // entries listed in this folder
  std::set<std::string> children;  // child folders that hold index pages
  char tag = 'r';                  // what made this folder
  size_t total = 0;                // entries at and under this folder
};

common::Charset CharsetNamed(const std::string& name) {
  if (name == "EUC-JP") return common::Charset::kEucJp;
  if (name == "UTF-8") return common::Charset::kUtf8;
  if (name == "big5") return common::Charset::kBig5;
  return common::Charset::kCp932;
}

class Writer {
 public:
  Writer(const std::deque<IndexEntry>& entries, const Options& cmd, const IndexTemplates& t,
         Reporter& reporter)
      : entries_(entries), cmd_(cmd), t_(t), reporter_(reporter) {
    eol_ = cmd.m.retcodeLF ? "\n" : "\r\n";
    topName_ = TopIndexName(cmd);
    std::string encoding = entries.empty() ? "" : entries.front().OutputEncoding();
    charset_ = CharsetNamed(encoding);
    charsetName_ = charset_ == common::Charset::kCp932 ? "Shift_JIS" : encoding;
    only_.number = cmd.i.digits[0] == 1;
    only_.rescount = cmd.i.digits[1] == 1;
    only_.boardtitle = cmd.i.digits[2] == 1;
    only_.message = cmd.i.digits[3] == 1;
  }

  int Run() {
    const bool oneIndex = cmd_.sOneIndex || cmd_.i.digits[4] == 1 || cmd_.i.digits[5] == 1;
    for (size_t i = 0; i < entries_.size(); ++i) {
      const IndexEntry& e = entries_[i];
      std::string folder = oneIndex ? "" : e.ListFolder();
      std::vector<char> tags = TagsOf(e, folder, cmd_.folderLetters);
      nodes_[folder].list.push_back(i);
      // Every folder above a list up to the output root gets a tree page.
      std::string child = folder;
      size_t level = tags.size();
      while (!child.empty()) {
        Node& node = nodes_[child];
        if (level > 0) node.tag = tags[--level];
        std::string parent = ParentOf(child);
        nodes_[parent].children.insert(child);
        child = parent;
      }
    }
    for (auto& [folder, node] : nodes_) {
      for (std::string up = folder;; up = ParentOf(up)) {
        nodes_[up].total += node.list.size();
        if (up.empty()) break;
      }
    }
    if (cmd_.i.copyBackground) CopyBackground();

    std::map<int, std::vector<std::string>, std::greater<int>> byDepth;
    for (const auto& [folder, node] : nodes_) byDepth[DepthOf(folder)].push_back(folder);
    for (const auto& [depth, folders] : byDepth) {
      reporter_.Say(depth == 0 ? std::string("階層:末尾\r\n")
                               : "階層:" + std::to_string(depth) + "\r\n");
      for (const std::string& folder : folders) WriteFolder(folder, nodes_[folder]);
    }
    if (written_ == 0) {
      reporter_.Say("インデックスファイルを作成しませんでした。\r\n");
    } else if (written_ == 1) {
      reporter_.Say("インデックスファイルを作成しました。(" + cmd_.outputFolder + topName_ +
                    ")\r\n");
    } else {
      reporter_.Say(std::to_string(written_) + "個のインデックスファイルを作成しました。\r\n");
    }
    return written_;
  }

 private:
  std::string PageNameOf(const std::string& folder) const {
    auto it = nodes_.find(folder);
    if (it != nodes_.end() && it->second.tag == 'K' && !it->second.children.empty()) {
      return kArchiveTopName;
    }
    return topName_;
  }

  std::string RootPath(const std::string& folder) const {
    std::string up;
    for (int i = 0; i < DepthOf(folder); ++i) up += "../";
    return up;
  }

  std::string IndexTitle(const std::vector<size_t>& listed) const {
    if (!cmd_.indexTitle.empty()) return page::EscapeTags(cmd_.indexTitle, common::Charset::kUtf8);
    std::string board = listed.empty() ? "" : entries_[listed.front()].boardName;
    if (board.empty()) return "スレッド一覧";
    return page::EscapeTags(board, common::Charset::kUtf8) + "のスレッド一覧";
  }

  std::string BoardTitle(const std::vector<size_t>& listed) const {
    if (listed.empty()) return "";
    const IndexEntry& e = entries_[listed.front()];
    std::string text = e.boardName.empty() ? e.boardFolder : e.boardName;
    if (!e.kindName.empty()) text += text.empty() ? e.kindName : " (" + e.kindName + ")";
    return page::EscapeTags(text, common::Charset::kUtf8);
  }

  // Markers every page of a folder shares.
  MarkerValues Common(const std::string& folder, const std::vector<size_t>& listed) const {
    const IndexEntry* first = listed.empty() ? nullptr : &entries_[listed.front()];
    auto esc = [](const std::string& s) {
      return page::EscapeAttribute(s, common::Charset::kUtf8);
    };
    std::string root = RootPath(folder);
    return {
        {"CHARSET", charsetName_},
        {"BGFILEPATH", cmd_.i.copyBackground ? root + "bg.gif" : ""},
        {"BBSNAME", first ? esc(first->kindName) : ""},
        {"BOARDNAME", first ? esc(first->boardName) : ""},
        {"BOARDDIRNAME", first ? esc(first->boardFolder) : ""},
        {"BOARDURL",
         first && page::IsSafeAddress(first->boardAddress) ? esc(first->boardAddress) : ""},
        {"INDEXROOT", root},
        {"INDEXPATH", HrefPart(folder)},
    };
  }

  bool Save(const std::string& folder, const std::string& name, const std::string& utf8) {
    std::string path = cmd_.outputFolder + folder + name;
    reporter_.Say(path + "を作成中...");
    std::string bytes = EncodeWithReferences(utf8, charset_);
    // Written as the thread pages are: complete or not at all, without a
    // flush to disk that would wait for every page of the run.
    bool created = false;
    if (!page::WritePageFile(path, bytes, created)) {
      reporter_.Say("failed\r\n");
      reporter_.Say(path + "の作成に失敗しました。\r\n");
      return false;
    }
    reporter_.Say("Ok\r\n");
    ++written_;
    return true;
  }

  void WriteList(const std::string& folder, const std::string& name, std::vector<size_t> listed) {
    std::vector<const IndexEntry*> sorted;
    sorted.reserve(listed.size());
    for (size_t i : listed) sorted.push_back(&entries_[i]);
    SortEntries(sorted, cmd_.i.sortKey, cmd_.i.order);
    MarkerValues values = Common(folder, listed);
    values.emplace_back("INDEXTITLE", IndexTitle(listed));
    values.emplace_back("BOARDTITLE", only_.boardtitle ? BoardTitle(listed) : "");
    values.emplace_back("THREADCOUNT", std::to_string(listed.size()));
    std::string page = FillTemplate(t_.list.header, values, only_, eol_);
    const size_t fixed = values.size();
    int rank = 0;
    for (const IndexEntry* e : sorted) {
      ++rank;
      values.resize(fixed);
      std::string relative = e->pageFolder.substr(std::min(folder.size(), e->pageFolder.size()));
      values.emplace_back("THREADPATH", HrefPart(relative));
      values.emplace_back("FILENAME", HrefPart(e->pageFile));
      values.emplace_back("NUMBER", only_.number ? std::to_string(rank) : "");
      values.emplace_back("THREADTITLE", TitleHtml(e->title));
      values.emplace_back("RESCOUNT", only_.rescount ? std::to_string(e->posts) : "");
      values.emplace_back("MESSAGE", only_.message ? MessageHtml(e->message) : "");
      page += FillTemplate(t_.list.body, values, only_, eol_);
    }
    values.resize(fixed);
    page += FillTemplate(t_.list.footer, values, only_, eol_);
    Save(folder, name, page);
  }

  void WriteFolder(const std::string& folder, const Node& node) {
    if (!node.list.empty()) WriteList(folder, topName_, node.list);
    if (node.children.empty()) return;
    std::string name = PageNameOf(folder);
    bool hasList = !node.list.empty();
    if (hasList && name == topName_) {
      // The folder's own thread list makes way for its tree page.
      std::string from = cmd_.outputFolder + folder + topName_;
      reporter_.Say(topName_ + "->" + kThreadListName);
      std::error_code ec;
      std::filesystem::rename(from, cmd_.outputFolder + folder + kThreadListName, ec);
      reporter_.Say(ec ? "...failed\r\n" : "...Ok\r\n");
    }

    // The archive's per-digit lists: keys up to 999999999 and threads without a key.
    std::string linkNine, linkZero;
    bool archiveLevel = false;
    for (const std::string& child : node.children) {
      if (nodes_.at(child).tag == 'F') archiveLevel = true;
    }
    if (archiveLevel) {
      std::vector<size_t> nine, zero;
      for (size_t i = 0; i < entries_.size(); ++i) {
        if (entries_[i].pageFolder.compare(0, folder.size(), folder) != 0) continue;
        std::uint64_t key = KeyOfFileName(entries_[i].inputFile);
        if (key == 0) {
          zero.push_back(i);
        } else if (key <= 999999999ULL) {
          nine.push_back(i);
        }
      }
      if (!nine.empty()) {
        WriteList(folder, kNineDigitListName, nine);
        linkNine = "<a href=\"index9.html\">倉庫番号999999999以前</a>";
      }
      if (!zero.empty()) {
        WriteList(folder, kKeylessListName, zero);
        linkZero = "<a href=\"index0.html\">スレッド番号不明</a>";
      }
    }

    const Level level = LevelOf(nodes_.at(*node.children.begin()).tag);
    std::vector<size_t> listed = node.list;
    if (listed.empty()) {
      // The board of the first thread under the folder names it.
      for (size_t i = 0; i < entries_.size() && listed.empty(); ++i) {
        if (entries_[i].pageFolder.compare(0, folder.size(), folder) == 0) listed.push_back(i);
      }
    }
    MarkerValues values = Common(folder, listed);
    std::string pathLine = cmd_.indexTitle.empty()
                               ? std::string("トップ")
                               : page::EscapeTags(cmd_.indexTitle, common::Charset::kUtf8);
    for (const std::string& part : Components(folder)) {
      pathLine += " &gt; " + page::EscapeTags(part, common::Charset::kUtf8);
    }
    values.emplace_back(
        "INDEXTITLE",
        cmd_.indexTitle.empty()
            ? std::string(level.title)
            : page::EscapeTags(cmd_.indexTitle, common::Charset::kUtf8) + " - " + level.title);
    values.emplace_back("BOARDTITLE", pathLine);
    values.emplace_back("ITEM_HEADER", level.header);
    values.emplace_back("ITEMCOUNT", std::to_string(node.children.size() + (hasList ? 1 : 0)));
    values.emplace_back("ALLFILECOUNT", std::to_string(node.total));
    values.emplace_back("THREADCOUNT", std::to_string(node.total));
    values.emplace_back("LINK_INDEXNINE", linkNine);
    values.emplace_back("LINK_INDEXZERO", linkZero);
    OnlyBlocks treeBlocks = only_;
    treeBlocks.boardtitle = true;
    std::string page = FillTemplate(t_.tree.header, values, treeBlocks, eol_);
    page += FillTemplate(t_.tree.bodyHeader, values, treeBlocks, eol_);
    const size_t fixed = values.size();
    auto item = [&](const std::string& text, const std::string& target, const std::string& file,
                    size_t count) {
      values.resize(fixed);
      values.emplace_back("ITEM", text);
      values.emplace_back("TARGETPATH", target);
      values.emplace_back("FILENAME", HrefPart(file));
      values.emplace_back("FILECOUNT", std::to_string(count));
      page += FillTemplate(t_.tree.body, values, treeBlocks, eol_);
    };
    if (hasList) item("スレッド一覧", "", kThreadListName, node.list.size());
    for (const std::string& child : node.children) {
      const Node& c = nodes_.at(child);
      std::string part = LastOf(child);
      std::string text = page::EscapeTags(part, common::Charset::kUtf8);
      if (c.tag == 'd') {
        text = AllDigits(part, 6) ? part.substr(0, 4) + "年" + part.substr(4, 2) + "月"
                                  : std::string("日付不明");
      }
      item(text, HrefPart(part) + "/", PageNameOf(child), c.total);
    }
    values.resize(fixed);
    page += FillTemplate(t_.tree.bodyFooter, values, treeBlocks, eol_);
    page += FillTemplate(t_.tree.footer, values, treeBlocks, eol_);
    Save(folder, name, page);
  }

  void CopyBackground() {
    std::string target = cmd_.outputFolder + "bg.gif";
    std::optional<std::string> bytes = common::ReadWholeFile(cmd_.programFolder + "bg.gif");
    if (!bytes) bytes = std::string(reinterpret_cast<const char*>(kBlankGif), sizeof kBlankGif);
    bool created = false;
    if (!page::WritePageFile(target, *bytes, created)) {
      reporter_.Say(target + "の作成に失敗しました。\r\n");
    }
  }

  const std::deque<IndexEntry>& entries_;
  const Options& cmd_;
  const IndexTemplates& t_;
  Reporter& reporter_;
  std::string eol_;
  std::string topName_;
  common::Charset charset_ = common::Charset::kCp932;
  std::string charsetName_;
  OnlyBlocks only_;
  std::map<std::string, Node> nodes_;
  int written_ = 0;
};

}  // namespace

std::string TitleHtml(const std::string& title) {
  std::string text = title;
  for (char& c : text) {
    if (c == '\x08' || c == '\x07' || c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  if (text.find_first_not_of(' ') == std::string::npos) return "(無題)";
  return page::EscapeTags(text, common::Charset::kUtf8);
}

std::string MessageHtml(const std::string& message) {
  std::string out;
  out.reserve(message.size());
  for (size_t i = 0; i < message.size();) {
    char c = message[i];
    if (c == '<') {
      page::Tag tag = page::ParseTag(std::string_view(message).substr(i));
      if (tag.valid && tag.length > 0) {
        if (tag.name == "br") out += "<br>";
        i += tag.length;
        continue;
      }
      out += "&lt;";
    } else if (c == '>') {
      out += "&gt;";
    } else if (c == '\x07' || c == '\x08' || c == '\r' || c == '\n' || c == '\t') {
      out += ' ';
    } else {
      out += c;
    }
    ++i;
  }
  return out;
}

std::string HrefPart(const std::string& name) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(name.size());
  for (char ch : name) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c < 0x21 || c == 0x7F ||
        std::string_view("\"#%&'<>?\\").find(ch) != std::string_view::npos) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
  return out;
}

int WriteIndexPages(const std::deque<IndexEntry>& entries, const Options& cmd,
                    const IndexTemplates& templates, Reporter& reporter) {
  return Writer(entries, cmd, templates, reporter).Run();
}

}  // namespace converter::index
