// Finding the board a thread belongs to: the .idx/.inf files beside the log,
// the board files of dedicated browsers, and the board files 2channel.brd
// and others.brd of the program's folder, in the priority order of /o.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "converter/options/options.h"
#include "converter/options/reporter.h"
#include "converter/reading/thread.h"

namespace converter {

struct BoardEntry {
  std::string server;
  std::string name;  // UTF-8
};

// Board folder name -> board, from board files; the first entry wins.
class BoardTable {
 public:
  // Reads a board file in the tab-separated browser form
  // ("\tserver\tboard\tname" lines under category lines). False when unreadable.
  bool LoadBrd(const std::string& path);
  void Add(const std::string& folder, BoardEntry entry) {
    entries_.emplace(folder, std::move(entry));
  }
  const BoardEntry* Find(const std::string& folder) const;
  size_t size() const { return entries_.size(); }

 private:
  std::map<std::string, BoardEntry> entries_;
};

// The board files of the program's folder, each loaded separately so that
// the priority order can tell them apart.
struct ProgramBoardFiles {
  BoardTable twoChannel;  // 2channel.brd
  BoardTable others;      // others.brd
  // Browser board files met so far (path -> table; an empty table for a
  // path that holds none), so that each is read once per run.
  mutable std::map<std::string, BoardTable> browserFiles;
  mutable std::map<std::string, std::vector<std::string>>
      browserFolders;  // folder -> its board files
};

// Loads the program folder's board files (unless /o switches them off) and
// reports each one loaded.
void LoadProgramBoardFiles(const Options& cmd, ProgramBoardFiles& files, Reporter& reporter);

// Reads one file of board entries of any browser form the reader knows
// (<A HREF=...> menus, tab-separated .brd, brdprops.txt, name=URL lines).
bool LoadBoardFile(const std::string& path, BoardTable& table);

// Board information of a .idx/.inf file beside the log (XML, INI or
// key=value lines). False when no such file says anything. With the names
// of the log's folder only the side files listed there are read.
bool ReadIdxInfo(const std::string& logPath, BoardInfo& board, std::string* title = nullptr,
                 const std::unordered_set<std::string>* folderNames = nullptr);

// Fills `thread.board`, its kind, language, traits and thread address.
void FindBoardInfo(const Options& cmd, const ProgramBoardFiles& files, Thread& thread,
                   Reporter& reporter);

// Sets server and folder from a board address "http://host/board/" (したらば:
// "http://host/category/board/").
void SetBoardAddress(std::string_view address, BoardInfo& board);

}  // namespace converter
