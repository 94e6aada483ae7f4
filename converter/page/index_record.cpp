#include "converter/page/index_record.h"

#include <cstdio>
#include <filesystem>

#include "converter/options/options.h"

namespace converter::page {
namespace {

// TAB and LF would break the record: stored as 0x08 and 0x07.
std::string Stored(std::string text) {
  for (char& c : text) {
    if (c == '\t') c = '\x08';
    if (c == '\n') c = '\x07';
  }
  return text;
}

std::string Time14(std::uint64_t time) {
  if (time == 0) return "";
  char text[24];
  std::snprintf(text, sizeof text, "%014llu", static_cast<unsigned long long>(time / 100));
  return text;
}

}  // namespace

std::string IndexRecordLine(const Thread& thread, const IndexRecordPlace& place) {
  const BoardKindTraits& traits = thread.traits ? *thread.traits : TraitsOf(thread.kind);
  std::string firstPost;
  if (place.firstPost && !thread.posts.empty()) {
    firstPost = thread.DecodeField(thread.posts.front().body);
  }
  std::string fields[] = {
      "htmlindextag v1.1",
      place.pageFile,
      std::filesystem::path(thread.path).filename().string(),
      std::to_string(place.parts),
      std::to_string(thread.modifiedTime),
      "",
      place.pageFolder,
      place.letterPath,
      Stored(thread.title),
      std::to_string(thread.posts.size()),
      Time14(thread.firstPostTime),
      Time14(thread.lastPostTime),
      Time14(thread.lastNonSageTime),
      std::string(traits.KindName()),
      thread.board.server,
      thread.board.address,
      thread.board.folderName,
      thread.board.name,
      std::string(KanjicodeName(thread.inputKanjicode)) + "," +
          KanjicodeName(thread.outputKanjicode),
      "",
      "",
      Stored(firstPost),
  };
  std::string line;
  for (const std::string& field : fields) line += field + "\t";
  return line;
}

}  // namespace converter::page
