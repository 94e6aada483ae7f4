#include "converter/app/run_conversion.h"

#include <fnmatch.h>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <thread>
#include <vector>

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

std::string BaseNameOf(const std::string& path) {
  std::string name = FileNameOf(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}

// One run in three steps: Prepare announces the switches and loads what the
// whole run shares, ConvertOne takes one input through the filters to the
// page writer, Finish prints the totals.
class ConversionRun {
 public:
  ConversionRun(const Options& cmd, Reporter& reporter, const PageWriter& writePage)
      : cmd_(cmd), reporter_(reporter), writePage_(writePage) {}

  // False when the options refuse the run; the exit code is then 2.
  bool Prepare();
  void ConvertOne(const std::string& path);
  // The exit code: 0 something converted, 2 nothing.
  int Finish(const PagesFinisher& finishPages);

  const RunSummary& summary() const { return summary_; }
  // The walk whose folder listings stand in for probing side files.
  void SetWalk(const InputWalk* walk) { walk_ = walk; }

 private:
  const Options& cmd_;
  Reporter& reporter_;
  const PageWriter& writePage_;
  RunSummary summary_;
  std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now();
  std::optional<query::TitleQuery> titleQuery_;
  ProgramBoardFiles boardFiles_;
  std::vector<std::string> selection_;
  bool announcedLogOnly_ = false;
  std::string lastBoard_;
  // The buffers of the last thread, lent to the next one: a run of many logs
  // allocates them once.
  FileBuffer buffer_;
  std::vector<Post> posts_;
  const InputWalk* walk_ = nullptr;
};

// Lends the run's buffers to a thread for its lifetime and takes them back.
class LentBuffers {
 public:
  LentBuffers(Thread& thread, FileBuffer& buffer, std::vector<Post>& posts)
      : thread_(thread), buffer_(buffer), posts_(posts) {
    thread_.buffer.swap(buffer_);
    thread_.posts.swap(posts_);
  }
  ~LentBuffers() {
    // A buffer of a rare huge log is not kept for the rest of the run.
    constexpr size_t kLargestKept = 64 << 20;
    if (thread_.buffer.capacity() <= kLargestKept) buffer_.swap(thread_.buffer);
    if (thread_.posts.capacity() <= kLargestKept / sizeof(Post)) posts_.swap(thread_.posts);
    buffer_.clear();
    posts_.clear();
  }
  LentBuffers(const LentBuffers&) = delete;
  LentBuffers& operator=(const LentBuffers&) = delete;

 private:
  Thread& thread_;
  FileBuffer& buffer_;
  std::vector<Post>& posts_;
};

bool ConversionRun::Prepare() {
  const Options& cmd = cmd_;
  Reporter& reporter = reporter_;
  if (cmd.query && cmd.o.ignoreLogCheck) {
    reporter.Say(
        "「ログチェックを無視する」オプションを指定した場合はｽﾚｯﾄﾞﾀｲﾄﾙ検索はできません。\r\n");
    summary_.pauseBeforeExit = true;
    return false;
  }
  started_ = std::chrono::steady_clock::now();

  if (cmd.query) titleQuery_ = query::PrepareQuery(cmd, reporter);
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

  LoadProgramBoardFiles(cmd, boardFiles_, reporter);

  if (!cmd.pathSelectionFile.empty()) {
    LoadPathSelection(cmd.pathSelectionFile, selection_, reporter);
  }

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
  return true;
}

void ConversionRun::ConvertOne(const std::string& path) {
  const Options& cmd = cmd_;
  Reporter& reporter = reporter_;
  if (!Selected(selection_, path)) return;
  // A companion (.idx, .txt, ...) that /mv::r already took along with its log.
  if (cmd.move && !common::FileExists(path)) return;
  Thread thread;
  LentBuffers lent(thread, buffer_, posts_);
  thread.path = path;
  thread.baseName = BaseNameOf(path);
  thread.key = KeyOfFileName(FileNameOf(path));
  if (walk_) thread.folderNames = walk_->NamesBeside(path);

  switch (IdentifyFile(cmd, thread)) {
    case Identification::kNotOpenable:
      reporter.Say(path + "  :ファイルを開けません.\r\n");
      return;
    case Identification::kEmpty:
      reporter.Say(path + "\n:0バイトのファイルです。\r\n");
      return;
    case Identification::kUnknownForm:
    case Identification::kEarlierHtml:
      reporter.Say(path + "\n:不明の形式です。変換できません.\r\n");
      return;
    case Identification::kDat:
      break;
  }
  thread.identification = Identification::kDat;
  if (!thread.statted) StatLog(thread);

  if (cmd.ts.enabled && (cmd.ts.basis == 'c' || cmd.ts.basis == 'm')) {
    long long seconds = cmd.ts.basis == 'c' ? thread.createdTime : thread.modifiedTime;
    if (!MatchesDateFilter(cmd.ts, LocalTimeDigits(seconds))) return;
  }
  if (titleQuery_ && !titleQuery_->Passes(thread.title)) return;

  FindBoardInfo(cmd, boardFiles_, thread, reporter);
  if (!thread.board.name.empty() && thread.board.name != lastBoard_) {
    lastBoard_ = thread.board.name;
    reporter.Say("掲示板名:" + thread.board.name +
                 (thread.board.address.empty() ? "" : " " + thread.board.address) + "\r\n");
  }

  ReadResult read = ReadThread(thread);
  if (read.status == ReadStatus::kNotOpenable) {
    reporter.Say(path + "  :ファイルを開けません. (エラー番号=" + std::to_string(read.error) +
                 ")\r\n");
    return;
  }
  if (read.status == ReadStatus::kReadError) {
    reporter.Say(path + "  :ファイルの読み込みに失敗しました。(エラー番号=" +
                 std::to_string(read.error) + ")\r\n");
    return;
  }
  if (read.status == ReadStatus::kEmpty) {
    reporter.Say(path + "\n:0バイトのファイルです。\r\n");
    return;
  }
  summary_.bytesRead += thread.fileSize;
  if (!InPostRange(thread.postCount, cmd)) {
    reporter.Say(path + "  :スレッドの投稿数が指定の範囲に無いので変換しませんでした。\r\n");
    return;
  }
  if (cmd.ts.enabled && (cmd.ts.basis == 'f' || cmd.ts.basis == 'l')) {
    std::uint64_t time = cmd.ts.basis == 'f' ? thread.firstPostTime : thread.lastNonSageTime;
    if (!MatchesDateFilter(cmd.ts, time / 100)) return;
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

  if (cmd.l && !announcedLogOnly_) {
    reporter.SayOnConsole("変換中です．．．．．．\r\n");
    announcedLogOnly_ = true;
  }
  if (!writePage_) return;
  PageOutcome outcome = writePage_(thread, cmd, reporter);
  if (!outcome.converted) return;
  ++summary_.converted;
  summary_.bytesWritten += outcome.bytesWritten;
  summary_.lastConvertedInput = path;
}

int ConversionRun::Finish(const PagesFinisher& finishPages) {
  const Options& cmd = cmd_;
  Reporter& reporter = reporter_;
  const bool verbose = cmd.v != ReportMode::kNone;
  const bool manyInputs =
      cmd.inputKind == InputKind::kPattern || cmd.inputKind == InputKind::kFolder || cmd.query;
  if (manyInputs && summary_.converted > 0) {
    reporter.Say(std::to_string(summary_.converted) + "個のスレッドを変換しました。\r\n");
  }
  if (finishPages) finishPages(cmd, reporter);
  if (summary_.converted > 999) {
    reporter.Say("総読み込みファイルサイズ：" + std::to_string(summary_.bytesRead) + " bytes\r\n");
    if (!cmd.o.noExistingOutputCheck) {
      reporter.Say("総書き込みファイルサイズ：" + std::to_string(summary_.bytesWritten) +
                   " bytes\r\n");
    }
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    reporter.Say(std::string("経過時間：") + text + " 秒\r\n");
  }
  if (verbose) {
    reporter.Say(summary_.converted > 0 ? "変換が完了しました\r\n"
                                        : "変換対象ファイルが見つかりませんでした。\r\n");
  }
  return summary_.converted > 0 ? 0 : 2;
}

}  // namespace

int RunConversion(const Options& cmd, Reporter& reporter, const PageWriter& writePage,
                  RunSummary* summaryOut, const PagesFinisher& finishPages) {
  ConversionRun run(cmd, reporter, writePage);
  int code = 2;
  if (run.Prepare()) {
    InputWalk walk(cmd);
    run.SetWalk(&walk);
    if (cmd.v != ReportMode::kNone && walk.size() > 0) reporter.Say("変換を開始します\r\n");
    std::string path;
    while (walk.Next(path)) run.ConvertOne(path);
    code = run.Finish(finishPages);
  }
  if (summaryOut) *summaryOut = run.summary();
  return code;
}

}  // namespace converter
