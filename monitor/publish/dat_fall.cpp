#include "monitor/publish/dat_fall.h"

#include <exception>

#include "common/file_io.h"
#include "common/line_ends.h"
#include "common/text_fold.h"
#include "lzh/unlha_command.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/board_urls.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "monitor/core/thread_lists.h"

namespace yagura {
namespace {

constexpr std::string_view kTwitterTag = " #2ch";

void Detail(Monitor& monitor, std::string_view text) { WriteDetailLog(monitor, text); }

// "\"title\"[123.dat]": how the messages name a thread.
std::string ThreadTag(std::string_view title, std::string_view datFileName) {
  return "\"" + std::string(title) + "\"[" + std::string(datFileName) + "]";
}

// A path in double quotes when the archiver would split it otherwise.
std::string QuotedWhenNeeded(std::string_view path) {
  if (path.find_first_of(", ") == std::string_view::npos) return std::string(path);
  return "\"" + std::string(path) + "\"";
}

// Only an extension at the very end is replaced. A path without ".dat" gets
// the extension appended, so that the archive can never be the log itself
// (the archive is deleted before each compression).
std::string WithExtension(std::string_view datPath, std::string_view extension) {
  constexpr std::string_view kDat = ".dat";
  if (datPath.size() >= kDat.size() && datPath.substr(datPath.size() - kDat.size()) == kDat) {
    datPath.remove_suffix(kDat.size());
  }
  return std::string(datPath) + std::string(extension);
}

std::string LimitText(std::chrono::milliseconds limit) {
  if (limit.count() % 1000 == 0) return std::to_string(limit.count() / 1000) + "秒";
  return std::to_string(limit.count()) + "ミリ秒";
}

// Compression, up to five attempts; the result of the last archiver call,
// false when it was never called.
bool CompressStep(Monitor& monitor, const std::string& title, const DatFallNames& names,
                  const DatFallTools& tools) {
  const std::string tag = ThreadTag(title, names.datFileName);
  bool lastCall = false;
  for (int attempts = 0;;) {
    // Asked before every attempt: the archiver may go away between them.
    if (ArchiverVersion(tools.archiver).empty()) {
      Detail(monitor, tag + "のLZH圧縮をスキップします");
      return lastCall;
    }
    ++attempts;
    Detail(monitor, tag + "をLZH圧縮しています...");
    lastCall =
        CompressToLzh(tools.archiver, names.archivePath, names.datFolder, names.datFileName, true);
    if (lastCall && common::FileExists(names.archivePath)) {
      Detail(monitor, "LZH圧縮しました");
      return lastCall;
    }
    if (attempts >= kCompressionAttempts) {
      Detail(monitor, "LZH圧縮失敗[" + names.datFileName + "]\"" + title + "\"");
      Detail(monitor, std::to_string(attempts) + "回LZH圧縮しましたが全て失敗しました");
      return lastCall;
    }
    Detail(monitor, "LZH圧縮に失敗したのでもう一度LZH圧縮してみます...");
  }
}

// Conversion, up to five attempts: done when the page exists once the
// converter has ended by itself. False when a stop or an exit ended it.
bool ConvertStep(Monitor& monitor, const std::string& title, const std::string& datPath,
                 const DatFallNames& names, const DatFallTools& tools) {
  const std::string tag = ThreadTag(title, names.datFileName);
  const std::string commandLine =
      ConverterCommandLine(tools.converterPath, datPath, names.datFolder);
  for (int attempts = 0;;) {
    if (!common::FileExists(tools.converterPath)) {
      Detail(monitor, tag + "のhtml化をスキップします");
      return true;
    }
    ++attempts;
    Detail(monitor, tag + "をhtml化しています...");
    RunAndWaitResult run = RunAndWait(monitor, commandLine, tools.converterWait);
    if (run.outcome == ChildOutcome::kTimedOut) {
      Detail(monitor, tag + "のhtml化が" + LimitText(tools.converterWait.timeLimit) +
                          "たっても終わらないので、SHOINを終了させました");
      // A converter that hangs on this log hangs again: another attempt would
      // only hold the monitor for another two minutes.
      Detail(monitor, "html化失敗[" + names.datFileName + "]\"" + title + "\"");
      return true;
    } else if (run.outcome == ChildOutcome::kAbandoned) {
      // The program is ending or the run was stopped: the page is not made.
      Detail(monitor, tag + "のhtml化を中断しました");
      return false;
    } else if (run.outcome == ChildOutcome::kNotStarted) {
      Detail(monitor, tag + "のhtml化でSHOINを起動できませんでした[" + run.error + "]");
    }
    // A page left from an earlier run counts, as the converter's exit code
    // says nothing; a converter that had to be ended does not.
    if (run.outcome != ChildOutcome::kTimedOut && common::FileExists(names.pagePath)) {
      Detail(monitor, "html化しました");
      return true;
    }
    if (attempts >= kConversionAttempts) {
      Detail(monitor, "html化失敗[" + names.datFileName + "]\"" + title + "\"");
      Detail(monitor, std::to_string(attempts) + "回html化しましたが全て失敗しました");
      return true;
    }
    Detail(monitor, "html化に失敗したのでもう一度html化してみます...");
  }
}

void AnnounceStep(Monitor& monitor, const std::string& title, const std::string& datPath,
                  const DatFallNames& names) {
  auto log = common::ReadWholeFile(datPath);
  const size_t posts = log ? common::CountLineFeeds(*log) : 0;
  // A TAB ends an announcement in the queue, so a title must not bring one.
  std::string flatTitle = title;
  for (char& c : flatTitle) {
    if (c == '\t') c = ' ';
  }
  const std::string announcement = DatFallAnnouncement(
      flatTitle, posts, ThreadPageUrl(monitor.form.txtURLBRD.Text(), names.datFileName));
  // A monitor killed after queueing it, before the thread reached the
  // dat-fall list, processes the thread again at the next start: the same
  // announcement is queued only once.
  const std::string queue = LoadTwitterQueue(monitor);
  const bool queued = queue.starts_with(announcement + "\t") ||
                      queue.find("\t" + announcement + "\t") != std::string::npos;
  if (!queued && !AppendTwitterAnnouncement(monitor, announcement)) {
    Detail(monitor, "Twitterに投稿するdat落ち情報を保存できませんでした");
    return;
  }
  const std::string caption = DetailLine(monitor, "Twitterに投稿するdat落ち情報を集めました");
  monitor.form.cmdRUN.SetCaption(caption);
  WriteLog(monitor, caption);
}

}  // namespace

DatFallNames DeriveDatFallNames(std::string_view datPath) {
  DatFallNames names;
  size_t slash = datPath.rfind('/');
  if (slash == std::string_view::npos) {
    names.datFileName = std::string(datPath);
    names.datFolder = ".";
  } else {
    names.datFileName = std::string(datPath.substr(slash + 1));
    names.datFolder = std::string(datPath.substr(0, slash));
  }
  names.archivePath = WithExtension(datPath, ".lzh");
  names.pagePath = WithExtension(datPath, ".html");
  return names;
}

Archiver BuiltInArchiver() {
  Archiver archiver;
  archiver.unlha = [](const std::string& commandLine, std::string& output) {
    return lzh::Unlha(commandLine, output);
  };
  archiver.versionText = [] { return lzh::UnlhaVersionText(); };
  return archiver;
}

std::string ArchiverVersion(const Archiver& archiver) {
  if (!archiver.versionText) return {};
  try {
    return archiver.versionText();
  } catch (const std::exception&) {
    return {};
  }
}

std::string ArchiverCommandLine(std::string_view archivePath, std::string_view baseFolder,
                                std::string_view fileName) {
  std::string folder(baseFolder);
  while (!folder.empty() && folder.back() == ' ') folder.pop_back();
  if (folder.empty() || folder.back() != '/') folder += '/';
  return "a -x -a -n " + QuotedWhenNeeded(archivePath) + " " + QuotedWhenNeeded(folder) + " " +
         QuotedWhenNeeded(fileName) + " ";
}

bool CompressToLzh(const Archiver& archiver, const std::string& archivePath,
                   std::string_view baseFolder, std::string_view fileName, bool deleteExisting) {
  // A failure to delete is not fatal: the archiver replaces the file anyway.
  if (deleteExisting && common::FileExists(archivePath)) common::RemoveFile(archivePath);
  if (!archiver.unlha) return false;
  std::string output;
  try {
    return archiver.unlha(ArchiverCommandLine(archivePath, baseFolder, fileName), output) == 0;
  } catch (const std::exception&) {
    return false;
  }
}

std::string ConverterCommandLine(std::string_view converterPath, std::string_view datPath,
                                 std::string_view datFolder) {
  return "\"" + std::string(converterPath) + "\" \"" + std::string(datPath) + "\" \"" +
         std::string(datFolder) + "\" " + kConverterOptions;
}

int MatchingWordPair(const Form& form, std::string_view title) {
  // The words as written first; then as the title search matches them
  // (ignoring case, width and kana type), so that a thread the search found
  // through a pair is not left without that pair's check boxes.
  for (bool folded : {false, true}) {
    for (int i = 0; i < 3; ++i) {
      const std::string& word1 = form.txtWORD1[i].Text();
      const std::string& word2 = form.txtWORD2[i].Text();
      if (word1.empty() || word2.empty()) continue;
      const bool found =
          folded ? common::ContainsFolded(title, word1) && common::ContainsFolded(title, word2)
                 : title.find(word1) != std::string_view::npos &&
                       title.find(word2) != std::string_view::npos;
      if (found) return i;
    }
  }
  return -1;
}

std::string DatFallAnnouncement(std::string_view title, size_t posts, std::string_view pageUrl) {
  const std::string plain = "dat落ち " + std::string(title) + "(" + std::to_string(posts) +
                            "レス)\r\n" + std::string(pageUrl);
  std::string tagged;
  size_t from = 0;
  for (size_t crlf; (crlf = plain.find("\r\n", from)) != std::string::npos; from = crlf + 2) {
    tagged.append(plain, from, crlf - from);
    tagged += kTwitterTag;
    tagged += "\r\n";
  }
  tagged.append(plain, from);
  return tagged;
}

bool ProcessDroppedThread(Monitor& monitor, const std::string& title, const std::string& datPath,
                          const DatFallTools& tools) {
  const DatFallNames names = DeriveDatFallNames(datPath);
  const std::string tag = ThreadTag(title, names.datFileName);
  bool result = false;

  if (!common::FileExists(datPath)) {
    Detail(monitor, "LZH圧縮、html化しようとしましたが、" + tag +
                        "のdatファイルが存在しないのでスキップします");
  } else {
    if (monitor.form.balloonEnabled) {
      monitor.ShowBalloon("dat落ちした(スレ一覧に存在しなくなった)ようです。\r\n" +
                          names.datFileName + "<>" + title);
    }
    result = CompressStep(monitor, title, names, tools);
    if (!ConvertStep(monitor, title, datPath, names, tools)) {
      // Nothing is published for a thread whose page is missing; the title
      // search keeps it for another try.
      monitor.datFallCutShort = true;
      if (StopRequested(monitor)) StopTail(monitor);
      return false;
    }

    const int pair = MatchingWordPair(monitor.form, title);
    if (pair < 0) {
      // The words were edited since the thread was found: no check boxes
      // to go by, so nothing is published for it.
      Detail(monitor,
             tag + "に合う単語の組がないので、Twitterへの投稿とアップロードをスキップします");
    } else {
      Form& f = monitor.form;
      if (f.chkE[pair].IsOn()) AnnounceStep(monitor, title, datPath, names);
      if (f.chkD[pair].IsOn() && f.chkCGISnUploader.IsOn()) {
        result = false;
        if (tools.upload) {
          result = tools.upload(monitor, title, datPath);
        } else {
          Detail(monitor,
                 "アップロード機能が使えないので、" + tag + "のアップロードをスキップします");
        }
      }
    }
  }

  // A stop pressed while the step ran is honoured only now.
  if (StopRequested(monitor)) StopTail(monitor);
  return result;
}

std::function<bool(const std::string& title, const std::string& datPath)> MakeProcessDroppedThread(
    Monitor& monitor, UploadThreadFiles upload) {
  return
      [&monitor, upload = std::move(upload)](const std::string& title, const std::string& datPath) {
        DatFallTools tools;
        tools.archiver = BuiltInArchiver();
        // Looked up at every call: the program folder is settled after wiring.
        tools.converterPath = monitor.paths.ConverterPath();
        tools.upload = upload;
        return ProcessDroppedThread(monitor, title, datPath, tools);
      };
}

}  // namespace yagura
