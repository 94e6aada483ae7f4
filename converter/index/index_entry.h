// One index entry: a converted thread (or the part series of a split thread)
// as the thread lists show it, read from and written as the record line of
// the "htmlindextag v1.1" form.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace converter::index {

inline constexpr std::string_view kRecordTag = "htmlindextag v1.1";

struct IndexEntry {
  IndexEntry() = default;
  IndexEntry(IndexEntry&&) noexcept = default;
  IndexEntry& operator=(IndexEntry&&) noexcept = default;
  IndexEntry(const IndexEntry&) = default;
  IndexEntry& operator=(const IndexEntry&) = default;

  std::string pageFile;         // the (first part) page file name
  std::string inputFile;        // the log's file name
  std::string parts;            // part count, 0 for an unsplit thread
  std::string inputTime;        // input modification time, decimal seconds
  std::string pageFolder;       // folder of the page relative to the output root, ends in '/' or ""
  std::string letterPath;       // the /a folder path, ends in '/' or ""
  std::string title;            // UTF-8; TAB and LF kept as 0x08 and 0x07
  int posts = 0;                // post count
  std::string firstPostTime;    // YYYYMMDDhhmmss or ""
  std::string lastPostTime;     // YYYYMMDDhhmmss or ""
  std::string lastNonSageTime;  // YYYYMMDDhhmmss or ""
  std::string kindName;         // board kind name
  std::string server;
  std::string boardAddress;
  std::string boardFolder;
  std::string boardName;
  std::string encodings;  // "Shift_JIS,Shift_JIS"
  std::string message;    // text of post 1, TAB and LF stored as 0x08 and 0x07

  // The entry's identity: a later entry of the same page replaces an earlier one.
  std::string Identity() const { return pageFolder + '\t' + letterPath + '\t' + pageFile; }
  // The folder its thread list belongs to: the page folder without the
  // subfolder a split thread's parts are kept in.
  std::string ListFolder() const;
  // The output encoding name ("Shift_JIS", "EUC-JP", "UTF-8", "big5").
  std::string OutputEncoding() const;
};

// Reads a record line (UTF-8, without its line end); nullopt when it is not one.
std::optional<IndexEntry> ParseIndexRecord(std::string_view line);

// The record line of an entry (UTF-8, a TAB after the last field, no line end).
std::string IndexRecordText(const IndexEntry& entry);

}  // namespace converter::index
