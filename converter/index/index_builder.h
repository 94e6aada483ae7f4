// The index of a run: collects an entry for every converted thread, keeps
// them in the locked work file index.tmp, merges the entries of earlier runs
// (index.tmp with /i digit 8, page records with digit 7) and writes the
// index pages at the end.
#pragma once

#include <deque>
#include <string>
#include <unordered_map>
#include <vector>

#include "converter/index/index_entry.h"
#include "converter/index/work_file.h"
#include "converter/options/options.h"
#include "converter/options/reporter.h"

namespace converter::index {

class IndexBuilder {
 public:
  enum class StartResult {
    kReady,    // entries will be collected (or no index was asked for)
    kRefused,  // another run holds index.tmp: this run writes no index
    kFatal,    // index.tmp cannot be created: the run must stop (error 701)
  };

  // Before the first thread: opens and locks index.tmp in the output root
  // and takes over the entries an earlier run kept there (digit 8, or an
  // index-only run with input NULL).
  StartResult Start(const Options& cmd, Reporter& reporter);

  // A converted thread's record line (UTF-8).
  void Add(const std::string& recordLine, Reporter& reporter);

  // After the last thread: imports page records (digit 7), writes the index
  // pages, and closes index.tmp (kept with digit 8). Returns the number of
  // index files written.
  int Finish(const Options& cmd, Reporter& reporter);

  const std::deque<IndexEntry>& entries() const { return entries_; }

 private:
  // A later entry of the same page replaces the earlier one in its place
  // when `replace`, else the earlier one stays.
  void Insert(IndexEntry entry, bool replace);

  bool active_ = false;
  std::deque<IndexEntry> entries_;
  std::unordered_map<std::string, size_t> byIdentity_;
  IndexWorkFile work_;
  bool writeFailed_ = false;
};

}  // namespace converter::index
