#include "converter/reading/run_loop.h"

#include <fcntl.h>  // AT_FDCWD
#include <fnmatch.h>
#include <sys/stat.h>
#include <chrono>
#include <thread>

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/options/paths.h"
#include "converter/query/title_query.h"
#include "converter/reading/board_info.h"
#include "converter/reading/filters.h"
#include "converter/reading/identify.h"
#include "converter/reading/input_walk.h"
#include "converter/reading/thread_reader.h"

namespace converter {
namespace {

std::string DateFilterText(const DateFilter& ts) {
  const char* basis = ts.basis == 'l'   ? "(最後の投稿)"
                      : ts.basis == 'm' ? "(ファイルの更新日時)"
                      : ts.basis == 'c' ? "(ファイルの作成日時)"
                                        : "(最初の投稿)";
  return "日時による絞り込み条件：" + ts.from + "-" + ts.to + basis + "\r\n";
}

// The path selection file of /s: one wildcard pattern of input paths a line.
bool LoadPathSelection(const std::string& path, std::vector<std::string>& patterns,
                       Reporter& reporter) {
  std::optional<std::string> bytes = common::ReadWholeFile(path);
  if (!bytes) {
    reporter.Say("/s  :パス選別定義ファイル " + path +
                 " を開けません。(エラー番号=" + std::to_string(errno) + ")\r\n");
    return false;
  }
  std::string text = common::IsValidUtf8(*bytes) ? *bytes : common::Cp932ToUtf8(*bytes);
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    std::string line = text.substr(start, lf == std::string::npos ? std::string::npos : lf - start);
    start = lf == std::string::npos ? text.size() : lf + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    if (!line.empty() && line[0] != '#') patterns.push_back(line);
  }
  if (patterns.empty()) {
    reporter.Say("パス選別定義ファイル " + path + " は無効です。\r\n");
    return false;
  }
  reporter.Say("パス選別定義ファイル " + path + " を読み込みました\r\n");
  return true;
}

bool Selected(const std::vector<std::string>& patterns, const std::string& path) {
  if (patterns.empty()) return true;
  for (const std::string& pattern : patterns) {
    if (fnmatch(pattern.c_str(), path.c_str(), 0) == 0) return true;
  }
  return false;
}

// Modification and creation time; a file system that keeps no birth time
// gives the status change time instead.
void FileTimesOf(const std::string& path, Thread& thread) {
  struct statx sx;
  if (statx(AT_FDCWD, path.c_str(), 0, STATX_MTIME | STATX_BTIME | STATX_CTIME, &sx) != 0) return;
  thread.modifiedTime = sx.stx_mtime.tv_sec;
  thread.createdTime = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
}

std::string BaseNameOf(const std::string& path) {
  std::string name = FileNameOf(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

}  // namespace

int RunConversion(const Options& cmd, Reporter& reporter, const PageWriter& writePage,
                  RunSummary* summaryOut, const PagesFinisher& finishPages) {
  RunSummary summary;
  auto finish = [&](int code) {
    if (summaryOut) *summaryOut = summary;
    return code;
  };
  if (cmd.query && cmd.o.ignoreLogCheck) {
    reporter.Say(
        "「ログチェックを無視する」オプションを指定した場合はｽﾚｯﾄﾞﾀｲﾄﾙ検索はできません。\r\n");
    summary.pauseBeforeExit = true;
    return finish(2);
  }
  const auto started = std::chrono::steady_clock::now();

  std::optional<query::TitleQuery> titleQuery;
  if (cmd.query) titleQuery = query::PrepareQuery(cmd, reporter);
  if (cmd.minPosts > 0) {
    reporter.Say(cmd.maxPosts == 999999
                     ? "投稿数による絞り込み:" + std::to_string(cmd.minPosts) + "-\n"
                     : "投稿数による絞り込み:" + std::to_string(cmd.minPosts) + "-" +
                           std::to_string(cmd.maxPosts) + "\n");
  }
  if (cmd.o.inputKanjicode) {
    reporter.Say(std::string("入力ファイルの漢字コードが") + KanjicodeName(cmd.o.inputKanjicode) +
                 "に指定されました\n");
  }
  if (cmd.m.output_kanjicode) {
    reporter.Say(std::string("出力ファイルの漢字コードが") + KanjicodeName(cmd.m.output_kanjicode) +
                 "に指定されました\n");
  }
  if (cmd.ts.enabled) reporter.Say(DateFilterText(cmd.ts));

  ProgramBoardFiles boardFiles;
  LoadProgramBoardFiles(cmd, boardFiles, reporter);

  std::vector<std::string> selection;
  if (!cmd.pathSelectionFile.empty()) LoadPathSelection(cmd.pathSelectionFile, selection, reporter);

  if (cmd.m.limitoflinenumber > 0) {
    reporter.Say(
        "指定行数以上の投稿を省略するオプションが指定されました。\r\n"
        "省略された投稿は、出力ファイル名_o.htmlに同時出力されます。\n");
  }
  if (cmd.move) {
    reporter.Say("ファイルの変換後に、変換元ファイルは" +
                 (cmd.movePath.empty() ? cmd.outputFolder : cmd.movePath) + "に移動します。\r\n");
  }
  const bool verbose = cmd.v != ReportMode::kNone;
  if (cmd.inputKind == InputKind::kFolder && verbose) {
    reporter.Say("フォルダを検索中です。しばらくお待ちください。\r\n");
  }

  InputWalk walk(cmd);
  if (verbose && walk.size() > 0) reporter.Say("変換を開始します\r\n");
  bool announcedLogOnly = false;
  std::string lastBoard;
  std::string path;
  while (walk.Next(path)) {
    if (!Selected(selection, path)) continue;
    // A companion (.idx, .txt, ...) that /mv::r already took along with its log.
    if (cmd.move && !common::FileExists(path)) continue;
    Thread thread;
    thread.path = path;
    thread.baseName = BaseNameOf(path);
    thread.key = KeyOfFileName(FileNameOf(path));
    FileTimesOf(path, thread);

    switch (IdentifyFile(cmd, thread)) {
      case Identification::kNotOpenable:
        reporter.Say(path + "  :ファイルを開けません.\r\n");
        continue;
      case Identification::kEmpty:
        reporter.Say(path + "\n:0バイトのファイルです。\r\n");
        continue;
      case Identification::kUnknownForm:
      case Identification::kEarlierHtml:
        reporter.Say(path + "\n:不明の形式です。変換できません.\r\n");
        continue;
      case Identification::kDat:
        break;
    }
    thread.identification = Identification::kDat;

    if (cmd.ts.enabled && (cmd.ts.basis == 'c' || cmd.ts.basis == 'm')) {
      long long seconds = cmd.ts.basis == 'c' ? thread.createdTime : thread.modifiedTime;
      if (!MatchesDateFilter(cmd.ts, LocalTimeDigits(seconds))) continue;
    }
    if (titleQuery && !titleQuery->Passes(thread.title)) continue;

    FindBoardInfo(cmd, boardFiles, thread, reporter);
    if (!thread.board.name.empty() && thread.board.name != lastBoard) {
      lastBoard = thread.board.name;
      reporter.Say("掲示板名:" + thread.board.name +
                   (thread.board.address.empty() ? "" : " " + thread.board.address) + "\r\n");
    }

    ReadResult read = ReadThread(thread);
    if (read.status == ReadStatus::kNotOpenable) {
      reporter.Say(path + "  :ファイルを開けません. (エラー番号=" + std::to_string(read.error) +
                   ")\r\n");
      continue;
    }
    if (read.status == ReadStatus::kReadError) {
      reporter.Say(path + "  :ファイルの読み込みに失敗しました。(エラー番号=" +
                   std::to_string(read.error) + ")\r\n");
      continue;
    }
    if (read.status == ReadStatus::kEmpty) {
      reporter.Say(path + "\n:0バイトのファイルです。\r\n");
      continue;
    }
    summary.bytesRead += thread.fileSize;
    if (!InPostRange(thread.postCount, cmd)) {
      reporter.Say(path + "  :スレッドの投稿数が指定の範囲に無いので変換しませんでした。\r\n");
      continue;
    }
    if (cmd.ts.enabled && (cmd.ts.basis == 'f' || cmd.ts.basis == 'l')) {
      std::uint64_t time = cmd.ts.basis == 'f' ? thread.firstPostTime : thread.lastNonSageTime;
      if (!MatchesDateFilter(cmd.ts, time / 100)) continue;
    }

    // The output encoding: forced by /m, else the board's, else the input's.
    if (cmd.m.output_kanjicode) {
      thread.outputKanjicode = cmd.m.output_kanjicode;
    } else if (thread.kind == BoardKind::kWorld2ch) {
      thread.outputKanjicode = 3;
    } else if (thread.kind == BoardKind::kTaiwan2ch) {
      thread.outputKanjicode = 4;
    } else {
      thread.outputKanjicode = thread.inputKanjicode;
    }

    if (cmd.l && !announcedLogOnly) {
      reporter.SayOnConsole("変換中です．．．．．．\r\n");
      announcedLogOnly = true;
    }
    if (!writePage) continue;
    PageOutcome outcome = writePage(thread, cmd, reporter);
    if (!outcome.converted) continue;
    ++summary.converted;
    summary.bytesWritten += outcome.bytesWritten;
    summary.lastConvertedInput = path;
  }

  const bool manyInputs =
      cmd.inputKind == InputKind::kPattern || cmd.inputKind == InputKind::kFolder || cmd.query;
  if (manyInputs && summary.converted > 0) {
    reporter.Say(std::to_string(summary.converted) + "個のスレッドを変換しました。\r\n");
  }
  if (finishPages) finishPages(cmd, reporter);
  if (summary.converted > 999) {
    reporter.Say("総読み込みファイルサイズ：" + std::to_string(summary.bytesRead) + " bytes\r\n");
    if (!cmd.o.noExistingOutputCheck) {
      reporter.Say("総書き込みファイルサイズ：" + std::to_string(summary.bytesWritten) +
                   " bytes\r\n");
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    reporter.Say(std::string("経過時間：") + text + " 秒\r\n");
  }
  if (verbose) {
    reporter.Say(summary.converted > 0 ? "変換が完了しました\r\n"
                                       : "変換対象ファイルが見つかりませんでした。\r\n");
  }
  return finish(summary.converted > 0 ? 0 : 2);
}

}  // namespace converter
