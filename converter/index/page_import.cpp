#include "converter/index/page_import.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"

namespace converter::index {
namespace {

namespace fs = std::filesystem;

common::Charset DeclaredCharset(const std::string& bytes) {
  std::string head = bytes.substr(0, 2048);
  for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  size_t at = head.find("charset=");
  if (at == std::string::npos) return common::Charset::kCp932;
  std::string name = head.substr(at + 8, 12);
  if (name.rfind("euc-jp", 0) == 0) return common::Charset::kEucJp;
  if (name.rfind("utf-8", 0) == 0) return common::Charset::kUtf8;
  if (name.rfind("big5", 0) == 0) return common::Charset::kBig5;
  return common::Charset::kCp932;
}

bool EndsWithHtml(const std::string& name) {
  if (name.size() < 5) return false;
  std::string tail = name.substr(name.size() - 5);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".html";
}

}  // namespace

PageRecord ReadPageRecord(const std::string& bytes, IndexEntry& entry) {
  // The record sits in the last comment of the page.
  size_t tag = bytes.rfind(std::string(kRecordTag) + "\t");
  if (tag == std::string::npos) return PageRecord::kMissing;
  size_t end = bytes.find('\n', tag);
  if (end == std::string::npos) return PageRecord::kMalformed;
  std::string line = common::DecodeToUtf8(bytes.substr(tag, end - tag), DeclaredCharset(bytes));
  std::optional<IndexEntry> parsed = ParseIndexRecord(line);
  if (!parsed) return PageRecord::kMalformed;
  entry = std::move(*parsed);
  return PageRecord::kFound;
}

int ImportPageRecords(const std::string& outputRoot,
                      const std::function<bool(const std::string&)>& skip,
                      const std::function<void(IndexEntry)>& add, Reporter& reporter) {
  reporter.Say("htmlファイルからインデックスファイル情報の取り込みを開始します\r\n");
  std::vector<std::string> folders = {""};
  int imported = 0;
  for (size_t f = 0; f < folders.size(); ++f) {
    const std::string folder = folders[f];
    std::vector<std::string> pages, subfolders;
    std::error_code ec;
    for (fs::directory_iterator it(outputRoot + folder, ec), end; !ec && it != end;
         it.increment(ec)) {
      std::string name = it->path().filename().string();
      std::error_code typeError;
      if (it->is_directory(typeError) && !it->is_symlink(typeError)) {
        subfolders.push_back(folder + name + "/");
      } else if (EndsWithHtml(name) && !skip(name)) {
        pages.push_back(name);
      }
    }
    std::sort(subfolders.begin(), subfolders.end());
    folders.insert(folders.end(), subfolders.begin(), subfolders.end());
    if (pages.empty()) continue;
    std::sort(pages.begin(), pages.end());
    reporter.Say(outputRoot + folder + "*.html\r\n");
    for (const std::string& name : pages) {
      std::string path = outputRoot + folder + name;
      std::optional<std::string> bytes = common::ReadWholeFile(path);
      IndexEntry entry;
      PageRecord found = bytes ? ReadPageRecord(*bytes, entry) : PageRecord::kMissing;
      if (found == PageRecord::kMissing) {
        reporter.Say(path + ":インデックスファイル情報が見つかりません。\r\n");
        continue;
      }
      if (found == PageRecord::kMalformed) {
        reporter.Say(path + ":インデックスファイル情報が正しくありません。\r\n");
        continue;
      }
      // Where the page is now, whatever the record says it was.
      entry.pageFolder = folder;
      entry.pageFile = name;
      add(std::move(entry));
      ++imported;
    }
  }
  reporter.Say(imported > 0
                   ? std::to_string(imported) +
                         "個のhtmlファイルからインデックスファイル情報を取り込みました\r\n\r\n"
                   : std::string("インデックスファイル情報は取得しませんでした\r\n\r\n"));
  return imported;
}

}  // namespace converter::index
