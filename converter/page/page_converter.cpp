#include "converter/page/page_converter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "common/file_io.h"
#include "converter/index/index_names.h"
#include "converter/page/index_record.h"
#include "converter/placement/page_folder.h"
#include "converter/query/query_normalise.h"

namespace converter::page {
namespace {

constexpr const char* kDefaultRedirectPrefix = "ime.nu/";
constexpr size_t kLongestTitleInName = 199;

void ReplaceAll(std::string& text, std::string_view marker, std::string_view value) {
  for (size_t at = text.find(marker); at != std::string::npos;
       at = text.find(marker, at + value.size())) {
    text.replace(at, marker.size(), value);
  }
}

// Cuts UTF-8 text to at most `limit` bytes without splitting a character.
std::string CutUtf8(std::string text, size_t limit) {
  if (text.size() <= limit) return text;
  size_t end = limit;
  while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
  return text.substr(0, end);
}

size_t CharacterCount(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8) {
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  }
  return n;
}

long long ModifiedSeconds(const std::string& path, bool& exists) {
  struct stat st;
  exists = stat(path.c_str(), &st) == 0;
  return exists ? static_cast<long long>(st.st_mtim.tv_sec) : 0;
}

std::string InputRoot(const Options& cmd) {
  std::error_code ec;
  if (std::filesystem::is_directory(cmd.inputPath, ec)) return placement::WithSlash(cmd.inputPath);
  return placement::WithSlash(std::filesystem::path(cmd.inputPath).parent_path().string());
}

// A written page as the run remembers it: letters in one case, since a file
// system may not tell "A.html" from "a.html".
std::string FoldedPath(std::string path) {
  for (char& c : path) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return path;
}

placement::ThreadPlace PlaceOf(const Thread& thread) {
  placement::ThreadPlace place;
  if (thread.kind != BoardKind::kOther || thread.kindFlags != 0) {
    switch (thread.kind) {
      case BoardKind::k2ch:
        place.boardKindName = "２ちゃんねる";
        break;
      case BoardKind::kBbspink:
        place.boardKindName = "BBSPINK";
        break;
      case BoardKind::kBe2ch:
        place.boardKindName = "Be.2ch";
        break;
      case BoardKind::kMachi:
        place.boardKindName = "まちＢＢＳ";
        break;
      case BoardKind::kMilkcafe:
        place.boardKindName = "milkcafe";
        break;
      case BoardKind::kLevel3:
        place.boardKindName = "Level3-BBS";
        break;
      case BoardKind::kShitaraba:
      case BoardKind::kShitarabaOld:
        place.boardKindName = "したらば";
        break;
      default:
        break;
    }
  }
  place.server = thread.board.server;
  place.boardDir = thread.board.folderName;
  place.boardName = thread.board.name;
  if (thread.key != 0) place.key = std::to_string(thread.key);
  if (thread.firstPostTime != 0) place.firstPostTime = std::to_string(thread.firstPostTime);
  place.datPath = thread.path;
  return place;
}

}  // namespace

bool WritePageFile(const std::string& path, const std::string& bytes, bool& created) {
  created = false;
  // Named like every other atomic write of ours (".tmp<pid>_<n>"), so the
  // monitor's start-up removes what a killed run left.
  static const std::string kTempSuffix = ".tmp" + std::to_string(getpid()) + "_0";
  std::string temp = path + kTempSuffix;
  int fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  created = true;
  bool ok = true;
  for (size_t done = 0; done < bytes.size();) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    created = false;
  }
  if (!ok) unlink(temp.c_str());
  return ok;
}

std::string ReadRedirectPrefix(const std::string& programFolder) {
  std::string path = placement::WithSlash(programFolder) + "redirect.txt";
  std::optional<std::string> text = common::ReadWholeFile(path);
  if (!text) {
    common::ReplaceFileAtomically(path, std::string(kDefaultRedirectPrefix) + "\r\n");
    return kDefaultRedirectPrefix;
  }
  std::string line = text->substr(0, text->find_first_of("\r\n"));
  if (line.size() > 255) line.resize(255);
  // The prefix goes inside an address: nothing that could close the attribute.
  for (char& c : line) {
    if (c == '"' || c == '<' || c == '>' || c == ' ') c = '-';
  }
  return line.empty() ? kDefaultRedirectPrefix : line;
}

const std::string& PageConverter::RedirectPrefix(const Options& cmd) {
  if (!redirectPrefix_) {
    redirectPrefix_ = cmd.m.link_redirect ? ReadRedirectPrefix(cmd.programFolder) : "";
  }
  return *redirectPrefix_;
}

std::string PageConverter::OutputBaseName(const Thread& thread, const Options& cmd,
                                          const std::string& folder) {
  int ordinal = ++ordinals_[folder];
  if (!cmd.titleFormatGiven) return thread.baseName;
  std::string name = cmd.fileNameFormat.empty() ? "%threadtitle%" : cmd.fileNameFormat;
  ReplaceAll(name, "%threadtitle%", CutUtf8(thread.title, kLongestTitleInName));
  for (size_t at = name.find("%0"); at != std::string::npos; at = name.find("%0", at + 1)) {
    size_t digitsEnd = at + 2;
    while (digitsEnd < name.size() && std::isdigit(static_cast<unsigned char>(name[digitsEnd]))) {
      ++digitsEnd;
    }
    if (name.compare(digitsEnd, 4, "num%") != 0) continue;
    int width = std::min(20, std::atoi(name.substr(at + 2, digitsEnd - at - 2).c_str()));
    char number[32];
    std::snprintf(number, sizeof number, "%0*d", width, ordinal);
    name.replace(at, digitsEnd + 4 - at, number);
  }
  ReplaceAll(name, "%num%", std::to_string(ordinal));
  ReplaceAll(name, "%sfilename%", thread.baseName);
  ReplaceAll(name, "%boarddirname%", thread.board.folderName);
  name = placement::CleanFileName(name);
  if (name.empty() || name == "." || name == "..") name = thread.baseName;
  return name;
}

PageOutcome PageConverter::operator()(const Thread& thread, const Options& cmd,
                                      Reporter& reporter) {
  PageOutcome outcome;
  auto say = [&reporter](const std::string& text) { reporter.Say(text); };
  if (cmd.outputNull) {
    outcome.converted = true;
    return outcome;
  }
  placement::Layout layout;
  layout.letters = cmd.folderLetters;
  layout.reproduce = cmd.reproduceTree;
  layout.single = cmd.oneFolder;
  layout.subfolders = cmd.s;
  if (!inputRoot_) inputRoot_ = InputRoot(cmd);
  layout.inputRoot = *inputRoot_;
  placement::PageFolder pageFolder =
      placement::BuildPageFolder(cmd.outputFolder, layout, PlaceOf(thread));
  std::string folder = pageFolder.folder;

  PageSetup setup;
  setup.baseName = OutputBaseName(thread, cmd, folder);
  bool split =
      cmd.partSize > 0 && PartCount(static_cast<long long>(thread.posts.size()), cmd.partSize) > 1;
  // The parts of a split thread keep together in a folder of their own.
  if (split && !cmd.oneFolder) folder += setup.baseName + "/";
  if (!readyFolders_.count(folder)) {
    bool created = false;
    if (!placement::CreateFolders(folder, say, &created)) return outcome;
    readyFolders_.insert(folder);
    if (created || (cmd.outputFolderCreated && folder == cmd.outputFolder)) {
      createdFolders_.insert(folder);
    }
  }
  setup.folder = folder;
  setup.redirectPrefix = RedirectPrefix(cmd);
  std::error_code ec;
  // Whether the input names one file: asked once a run.
  if (!inputIsFile_) inputIsFile_ = std::filesystem::is_regular_file(cmd.inputPath, ec);
  if (cmd.i.enabled && cmd.m.link_back && !*inputIsFile_) {
    std::string relative = folder.substr(std::min(folder.size(), cmd.outputFolder.size()));
    std::string up;
    for (char c : relative) {
      if (c == '/') up += "../";
    }
    setup.indexLink = up + index::TopIndexName(cmd);
  }
  if (cmd.js.enabled && script_) setup.script = script_(cmd, folder, reporter);

  std::string firstFile =
      split ? PartFileName(setup.baseName, 1,
                           PartCount(static_cast<long long>(thread.posts.size()), cmd.partSize))
            : setup.baseName + ".html";
  std::string indexRecord;
  if (cmd.m.writehtmlindextag || cmd.i.enabled) {
    IndexRecordPlace place;
    place.pageFile = firstFile;
    place.parts = split ? PartCount(static_cast<long long>(thread.posts.size()), cmd.partSize) : 0;
    place.pageFolder = folder.substr(std::min(folder.size(), cmd.outputFolder.size()));
    place.letterPath = pageFolder.letterPath;
    if (cmd.m.writehtmlindextag) setup.indexRecord = IndexRecordLine(thread, place);
    if (cmd.i.enabled) {
      // An index shows the first post only when asked to (/i digit 4).
      place.firstPost = cmd.i.digits[3] == 1;
      indexRecord = place.firstPost && cmd.m.writehtmlindextag ? setup.indexRecord
                                                               : IndexRecordLine(thread, place);
    }
  }

  std::string firstPath = folder + firstFile;
  // Moved sources land in page folders too: with /mv every page is looked for.
  const bool cannotExist = !cmd.move && createdFolders_.count(folder) > 0 &&
                           writtenInCreated_.count(FoldedPath(firstPath)) == 0;
  if (!cmd.o.noExistingOutputCheck && !cannotExist) {
    bool exists = false;
    long long outputTime = ModifiedSeconds(firstPath, exists);
    if (exists) {
      if (thread.modifiedTime <= 0) {
        say(firstPath + "\n:日付の情報を得ることができませんでした。上書きします。\r\n");
      } else if (cmd.u && outputTime >= thread.modifiedTime) {
        say(firstPath + "\n:受け側の同名のファイルの日付が同じか新しいので上書きしません。\r\n");
        return outcome;
      } else {
        say("注意:" + firstPath + "は既に存在します。上書きします。\r\n");
      }
    }
  }

  BuiltPages pages = build_(thread, cmd, setup);
  for (const PageFile& file : pages.files) {
    bool created = false;
    if (!WritePageFile(file.path, file.bytes, created)) {
      say(created ? file.path + "  :ファイルの書き込みに失敗しました。\r\n"
                  : file.path + "\n:ファイルの作成に失敗しました。\r\n");
      return outcome;
    }
    outcome.bytesWritten += static_cast<long long>(file.bytes.size());
    if (cmd.ct) placement::CopyFileTime(thread.path, file.path);
    if (!createdFolders_.empty()) writtenInCreated_.insert(FoldedPath(file.path));
  }
  outcome.converted = true;
  outcome.outputPath = pages.files.front().path;
  outcome.indexRecord = std::move(indexRecord);

  // The result line.
  const char* arrow = cmd.m.limitoflinenumber > 0 ? " -> " : " => ";
  for (int part = 0; part < pages.parts; ++part) {
    std::string line = thread.path + arrow + pages.files[static_cast<size_t>(part)].path;
    if (pages.split)
      line = thread.path + " " + pages.files[static_cast<size_t>(part)].path + " (分割)";
    // The console shows the title as a reader sees it: "&amp;" as "&".
    if (CharacterCount(line) <= 70) line += " title:" + query::DecodeEntities(thread.title);
    say(line + "\r\n");
  }

  if (cmd.move) {
    if (!mover_) {
      mover_ = std::make_unique<placement::FileMover>(cmd.movePath, cmd.moveRelated, cmd.u, say);
    }
    std::string pageFolderOnly = pageFolder.folder;
    mover_->Move(thread.path, pageFolderOnly, cmd.outputFolder);
  }
  return outcome;
}

void PageConverter::Finish(const Options& cmd, Reporter& reporter) {
  if (cmd.move && mover_) reporter.Say(mover_->Summary());
}

PageWriter PageConverter::Writer(std::shared_ptr<PageConverter> converter) {
  return [converter](const Thread& thread, const Options& cmd, Reporter& reporter) {
    return (*converter)(thread, cmd, reporter);
  };
}

}  // namespace converter::page
