#include "converter/reading/board_info.h"

#include <filesystem>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/options/paths.h"

namespace converter {
namespace {

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t' || text.front() == '\r')) {
    text.remove_prefix(1);
  }
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    size_t end = lf == std::string_view::npos ? text.size() : lf;
    lines.push_back(Trim(text.substr(start, end - start)));
    start = end + 1;
  }
  return lines;
}

// Board files of the browsers are in the ANSI code page unless they are UTF-8.
std::string TextOf(const std::string& bytes) {
  return common::IsValidUtf8(bytes) ? bytes : common::Cp932ToUtf8(bytes);
}

// Value of "key" in an XML element <key>value</key>.
std::string XmlValue(std::string_view text, std::string_view key) {
  std::string open = "<" + std::string(key) + ">";
  std::string close = "</" + std::string(key) + ">";
  size_t at = text.find(open);
  if (at == std::string_view::npos) return "";
  at += open.size();
  size_t end = text.find(close, at);
  if (end == std::string_view::npos) return "";
  return std::string(Trim(text.substr(at, end - at)));
}

// Server and board of an address; folder may also be "category/board".
bool SplitAddress(std::string_view address, std::string& server, std::vector<std::string>& path) {
  size_t scheme = address.find("://");
  if (scheme == std::string_view::npos) return false;
  address.remove_prefix(scheme + 3);
  size_t slash = address.find('/');
  server = std::string(address.substr(0, slash));
  path.clear();
  while (slash != std::string_view::npos) {
    size_t next = address.find('/', slash + 1);
    std::string_view part = address.substr(
        slash + 1, next == std::string_view::npos ? std::string_view::npos : next - slash - 1);
    if (!part.empty()) path.emplace_back(part);
    slash = next;
  }
  return !server.empty();
}

enum class Source { kIdxInf = 0, kBrowser = 1, kOthersBrd = 2, kTwoChannelBrd = 3 };

// Browser board files, by the names the browsers give them.
const char* const kBrowserBoardFiles[] = {"jane2ch.brd",         "board.2ch",    "2channel.brd",
                                          "bbsmenu.html.p2.brd", "board.txt",    "board.ini",
                                          "brdconf.ini",         "2chmenu.html", "board.html",
                                          "brdprops.txt",        "threadst.txt"};

bool FindInBrowserFiles(const std::string& logPath, const std::string& folder,
                        const ProgramBoardFiles& cache, BoardInfo& board, std::string& foundIn) {
  std::filesystem::path dir = std::filesystem::path(logPath).parent_path();
  for (int level = 0; level < 6 && !dir.empty(); ++level) {
    for (const char* sub : {"", "config", "conf"}) {
      std::string base = (*sub ? dir / sub : dir).string();
      // Each folder is looked at once a run; its board files are read then.
      auto known = cache.browserFolders.find(base);
      if (known == cache.browserFolders.end()) {
        std::vector<std::string> present;
        for (const char* name : kBrowserBoardFiles) {
          std::string path = base + "/" + name;
          if (!common::FileExists(path)) continue;
          BoardTable table;
          if (!LoadBoardFile(path, table)) continue;
          cache.browserFiles.emplace(path, std::move(table));
          present.push_back(path);
        }
        known = cache.browserFolders.emplace(base, std::move(present)).first;
      }
      for (const std::string& path : known->second) {
        if (const BoardEntry* entry = cache.browserFiles.at(path).Find(folder)) {
          board.server = entry->server;
          board.name = entry->name;
          foundIn = path;
          return true;
        }
      }
    }
    if (dir == dir.root_path()) break;
    dir = dir.parent_path();
  }
  return false;
}

}  // namespace

bool BoardTable::LoadBrd(const std::string& path) { return LoadBoardFile(path, *this); }

const BoardEntry* BoardTable::Find(const std::string& folder) const {
  auto it = entries_.find(folder);
  return it == entries_.end() ? nullptr : &it->second;
}

bool LoadBoardFile(const std::string& path, BoardTable& table) {
  std::optional<std::string> bytes = common::ReadWholeFile(path);
  if (!bytes) return false;
  std::string text = TextOf(*bytes);
  std::string server;
  std::vector<std::string> parts;
  std::string pendingName, pendingFolder;
  for (std::string_view line : Lines(text)) {
    // "<A HREF=http://host/board/>name</A>" menus.
    size_t href = line.find("HREF=");
    if (href == std::string_view::npos) href = line.find("href=");
    if (href != std::string_view::npos) {
      size_t start = href + 5;
      if (start < line.size() && (line[start] == '"' || line[start] == '\'')) ++start;
      size_t end = line.find_first_of("\"'> ", start);
      std::string_view address = line.substr(start, end - start);
      size_t close = line.find('>', end);
      size_t closeTag = line.find('<', close);
      std::string name(close == std::string_view::npos
                           ? std::string_view()
                           : line.substr(close + 1, closeTag == std::string_view::npos
                                                        ? std::string_view::npos
                                                        : closeTag - close - 1));
      if (SplitAddress(address, server, parts) && !parts.empty()) {
        table.Add(parts.back(), {server, name});
      }
      continue;
    }
    // "\tserver\tboard\tname" (.brd of the browsers).
    if (line.find('\t') != std::string_view::npos) {
      std::vector<std::string_view> cells;
      size_t start = 0;
      while (start <= line.size()) {
        size_t tab = line.find('\t', start);
        cells.push_back(line.substr(
            start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
        if (tab == std::string_view::npos) break;
        start = tab + 1;
      }
      if (cells.size() >= 3 && cells[0].find('.') != std::string_view::npos) {
        table.Add(std::string(cells[1]),
                  {std::string(cells[0]), cells.size() > 2 ? std::string(cells[2]) : ""});
      }
      continue;
    }
    // brdprops.txt: "Board.Name:=..." then "Board.BBS:=http://...".
    if (line.rfind("Board.Name:=", 0) == 0) {
      pendingName = std::string(line.substr(12));
      continue;
    }
    if (line.rfind("Board.BBS:=", 0) == 0) {
      if (SplitAddress(line.substr(11), server, parts) && !parts.empty()) {
        table.Add(parts.back(), {server, pendingName});
      }
      continue;
    }
    // "name=http://host/board/" lines (board.txt, board.ini).
    size_t equals = line.find("=http");
    if (equals != std::string_view::npos) {
      if (SplitAddress(line.substr(equals + 1), server, parts) && !parts.empty()) {
        table.Add(parts.back(), {server, std::string(line.substr(0, equals))});
      }
    }
  }
  return true;
}

void SetBoardAddress(std::string_view address, BoardInfo& board) {
  std::string server;
  std::vector<std::string> parts;
  if (!SplitAddress(address, server, parts) || parts.empty()) return;
  board.server = server;
  board.folderName = parts.back();
  if (parts.size() >= 2) board.category = parts[parts.size() - 2];
}

bool ReadIdxInfo(const std::string& logPath, BoardInfo& board, std::string* title,
                 const std::unordered_set<std::string>* folderNames) {
  std::string stem = logPath;
  size_t slash = stem.rfind('/');
  size_t dot = stem.rfind('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) stem.resize(dot);
  for (const char* extension : {".idx", ".inf", ".txt", ".i", ".dat.opt"}) {
    std::string path = stem + extension;
    if (path == logPath) continue;
    if (folderNames && !folderNames->count(path.substr(path.rfind('/') + 1))) continue;
    std::optional<std::string> bytes = common::ReadWholeFile(path);
    if (!bytes) continue;
    std::string text = TextOf(*bytes);
    bool found = false;
    if (text.find("<?xml") != std::string::npos || text.find("<Server>") != std::string::npos) {
      std::string server = XmlValue(text, "Server");
      std::string id = XmlValue(text, "ID");
      if (!server.empty()) board.server = server, found = true;
      if (!id.empty()) board.folderName = id, found = true;
      if (title && !XmlValue(text, "Subject").empty()) *title = XmlValue(text, "Subject");
    } else {
      for (std::string_view line : Lines(text)) {
        auto value = [&](std::string_view key) -> std::string_view {
          return line.rfind(key, 0) == 0 ? Trim(line.substr(key.size())) : std::string_view();
        };
        if (!value("Server=").empty()) board.server = std::string(value("Server=")), found = true;
        if (!value("Name=").empty()) board.name = std::string(value("Name=")), found = true;
        if (!value("Path=").empty()) {
          std::string_view folder = value("Path=");
          while (!folder.empty() && folder.back() == '/') folder.remove_suffix(1);
          board.folderName = std::string(folder.substr(folder.rfind('/') + 1));
          found = true;
        }
        if (!value("BOARDURL=").empty()) SetBoardAddress(value("BOARDURL="), board), found = true;
        if (!value("BOARDID=").empty())
          board.folderName = std::string(value("BOARDID=")), found = true;
        if (title && !value("Subject=").empty()) *title = std::string(value("Subject="));
        if (title && !value("TITLE=").empty()) *title = std::string(value("TITLE="));
      }
    }
    if (found) {
      board.source = path;
      return true;
    }
  }
  return false;
}

void LoadProgramBoardFiles(const Options& cmd, ProgramBoardFiles& files, Reporter& reporter) {
  if (cmd.o.noCurrentBoardFiles) return;
  struct {
    const char* name;
    BoardTable* table;
  } const kFiles[] = {{"2channel.brd", &files.twoChannel}, {"others.brd", &files.others}};
  for (const auto& file : kFiles) {
    std::string path = cmd.programFolder + file.name;
    if (common::FileExists(path) && file.table->LoadBrd(path)) {
      reporter.Say(cmd.programFolder + std::string(file.name) + "を読み込みました\r\n");
    }
  }
}

void FindBoardInfo(const Options& cmd, const ProgramBoardFiles& files, Thread& thread,
                   Reporter& reporter) {
  BoardInfo& board = thread.board;
  board = BoardInfo{};
  // When nothing else is known the board folder is the log's folder.
  std::string folderPath = FolderOf(thread.path);
  if (folderPath.size() > 1) folderPath.pop_back();
  board.folderName = FileNameOf(folderPath);

  const OSwitches& o = cmd.o;
  bool found = false;
  for (int slot = 0; slot < 4 && !found; ++slot) {
    auto source = static_cast<Source>((o.boardInfoPriority >> (6 - 2 * slot)) & 3);
    switch (source) {
      case Source::kIdxInf:
        if (!o.noIdxInf && ReadIdxInfo(thread.path, board, nullptr, thread.folderNames)) {
          reporter.Say("対象ファイルと同名のidxファイルから掲示板情報を参照します\r\n");
          found = !board.server.empty();
        }
        break;
      case Source::kBrowser: {
        std::string foundIn;
        if (!o.noBrowserBoardFiles &&
            FindInBrowserFiles(thread.path, board.folderName, files, board, foundIn)) {
          reporter.Say(foundIn + "から掲示板情報を参照します\r\n");
          found = true;
        }
        break;
      }
      case Source::kOthersBrd:
      case Source::kTwoChannelBrd: {
        if (o.noCurrentBoardFiles) break;
        const BoardTable& table = source == Source::kOthersBrd ? files.others : files.twoChannel;
        if (const BoardEntry* entry = table.Find(board.folderName)) {
          board.server = entry->server;
          if (board.name.empty()) board.name = entry->name;
          found = true;
        }
        break;
      }
    }
  }
  if (!board.server.empty()) {
    board.address = "http://" + board.server + "/" +
                    (board.category.empty() ? "" : board.category + "/") + board.folderName + "/";
  }

  BoardKind kind = BoardKind::kOther;
  BoardKind forced;
  if (cmd.forcedKind && KindOfForcedLetter(cmd.forcedKind, forced)) {
    kind = forced;
  } else if (!board.address.empty()) {
    kind = KindOfAddress(board.address, board.folderName);
  } else if (thread.kindFlags & BoardKindBit(BoardKind::kMachi)) {
    kind = BoardKind::kMachi;
  } else if (thread.kindFlags & BoardKindBit(BoardKind::kShitaraba)) {
    kind = BoardKind::kShitaraba;
  }
  thread.kindFlags |= BoardKindBit(kind);
  thread.kind = kind;
  thread.traits = &TraitsOf(kind);
  thread.language = thread.traits->Language();
  board.threadAddress = thread.traits->ThreadAddress(board, thread.key);
}

}  // namespace converter
