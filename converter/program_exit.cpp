#include "converter/program_exit.h"

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/options/paths.h"

namespace converter {

std::string ReportedFolderOfInput(const std::string& inputPath) {
  std::string folder = FolderOf(inputPath);  // ends in '/'
  auto parentOf = [](const std::string& dir) {
    std::string trimmed = dir.size() > 1 ? dir.substr(0, dir.size() - 1) : dir;
    return FolderOf(trimmed);
  };
  auto nameOf = [](const std::string& dir) {
    return FileNameOf(dir.size() > 1 ? dir.substr(0, dir.size() - 1) : dir);
  };
  const std::string name = nameOf(folder);
  if (name == "log" || name == "dat" || name == "Cache" || name == ".navi2ch") {
    return parentOf(folder);
  }
  const std::string above = parentOf(folder);
  const std::string aboveName = nameOf(above);
  if (aboveName == "dat" || aboveName == "Logs" || aboveName == ".2ch") return parentOf(above);
  return folder;
}

void WriteInidir(const Options& cmd, const RunSummary& summary, bool success) {
  std::string text;
  if (success) {
    std::string folder = cmd.outputFolder;
    if (cmd.v == ReportMode::kVf && !summary.lastConvertedInput.empty()) {
      folder = ReportedFolderOfInput(summary.lastConvertedInput);
    }
    text = folder + "\r\n";
  }
  common::ReplaceFileAtomically(cmd.programFolder + "inidir.txt", common::Utf8ToCp932(text));
}

}  // namespace converter
