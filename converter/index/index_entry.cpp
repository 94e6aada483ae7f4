#include "converter/index/index_entry.h"

#include <charconv>
#include <vector>

namespace converter::index {
namespace {

constexpr size_t kFieldCount = 22;

// A relative folder as the entries keep it: '/' separators, a trailing '/',
// no leading '/', and never a step up out of the output root.
std::string CleanFolder(std::string folder) {
  for (char& c : folder) {
    if (c == '\\') c = '/';
  }
  while (!folder.empty() && folder.front() == '/') folder.erase(0, 1);
  if (!folder.empty() && folder.back() != '/') folder += '/';
  if (folder == "./") folder.clear();
  return folder;
}

bool StepsOutside(std::string_view path) {
  size_t start = 0;
  while (start <= path.size()) {
    size_t slash = path.find('/', start);
    std::string_view part = path.substr(
        start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
    if (part == "..") return true;
    if (slash == std::string_view::npos) break;
    start = slash + 1;
  }
  return false;
}

}  // namespace

std::string IndexEntry::ListFolder() const {
  // Split parts live in <list folder>/<base>/, the first part named <base>_NN.html.
  if (parts.empty() || parts == "0" || pageFolder.size() < 2) return pageFolder;
  size_t slash = pageFolder.rfind('/', pageFolder.size() - 2);
  size_t start = slash == std::string::npos ? 0 : slash + 1;
  std::string last = pageFolder.substr(start, pageFolder.size() - 1 - start);
  if (pageFile.size() > last.size() && pageFile.compare(0, last.size(), last) == 0 &&
      pageFile[last.size()] == '_') {
    return pageFolder.substr(0, start);
  }
  return pageFolder;
}

std::string IndexEntry::OutputEncoding() const {
  size_t comma = encodings.find(',');
  return comma == std::string::npos ? encodings : encodings.substr(comma + 1);
}

std::optional<IndexEntry> ParseIndexRecord(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  std::vector<std::string_view> fields;
  fields.reserve(kFieldCount + 1);
  size_t start = 0;
  while (start < line.size()) {
    size_t tab = line.find('\t', start);
    if (tab == std::string_view::npos) {
      fields.push_back(line.substr(start));
      break;
    }
    fields.push_back(line.substr(start, tab - start));
    start = tab + 1;
  }
  if (fields.size() < kFieldCount || fields[0] != kRecordTag || fields[1].empty()) {
    return std::nullopt;
  }
  IndexEntry e;
  e.pageFile = fields[1];
  // A page file is a name in its folder, never a path.
  if (e.pageFile.find('/') != std::string::npos || e.pageFile == "." || e.pageFile == "..") {
    return std::nullopt;
  }
  e.inputFile = fields[2];
  e.parts = fields[3];
  e.inputTime = fields[4];
  e.pageFolder = CleanFolder(std::string(fields[6]));
  e.letterPath = CleanFolder(std::string(fields[7]));
  if (StepsOutside(e.pageFolder) || StepsOutside(e.letterPath)) return std::nullopt;
  e.title = fields[8];
  int posts = 0;
  auto [end, error] = std::from_chars(fields[9].data(), fields[9].data() + fields[9].size(), posts);
  if (fields[9].empty() || error != std::errc() || end != fields[9].data() + fields[9].size() ||
      posts < 0) {
    return std::nullopt;
  }
  e.posts = posts;
  e.firstPostTime = fields[10];
  e.lastPostTime = fields[11];
  e.lastNonSageTime = fields[12];
  e.kindName = fields[13];
  e.server = fields[14];
  e.boardAddress = fields[15];
  e.boardFolder = fields[16];
  e.boardName = fields[17];
  e.encodings = fields[18];
  e.message = fields[21];
  return e;
}

std::string IndexRecordText(const IndexEntry& e) {
  const std::string* fields[] = {
      nullptr,          &e.pageFile,     &e.inputFile,       &e.parts,     &e.inputTime,
      nullptr,          &e.pageFolder,   &e.letterPath,      &e.title,     nullptr,
      &e.firstPostTime, &e.lastPostTime, &e.lastNonSageTime, &e.kindName,  &e.server,
      &e.boardAddress,  &e.boardFolder,  &e.boardName,       &e.encodings, nullptr,
      nullptr,          &e.message};
  std::string line;
  for (size_t i = 0; i < kFieldCount; ++i) {
    if (i == 0) {
      line += kRecordTag;
    } else if (i == 9) {
      line += std::to_string(e.posts);
    } else if (fields[i]) {
      line += *fields[i];
    }
    line += '\t';
  }
  return line;
}

}  // namespace converter::index
