#include "monitor/http/retrieve_dats.h"

#include <filesystem>
#include <fstream>
#include <optional>

#include "common/file_io.h"
#include "common/line_ends.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/board_urls.h"
#include "monitor/core/file_stamp.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "monitor/core/thread_lists.h"
#include "monitor/http/header_file.h"

namespace yagura {
namespace {

constexpr std::string_view kAgent = "2ch";

std::string Detail(const Monitor& monitor, std::string_view text) {
  return DetailLine(monitor, text);
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

// " 3": the number as decimal with the blank that stands for its sign.
std::string SignedText(long long n) { return (n >= 0 ? " " : "") + std::to_string(n); }

// One thread's exchange with the server.
class ThreadRetrieval {
 public:
  ThreadRetrieval(Monitor& monitor, HttpClient& http, std::string name, std::string url,
                  std::string local)
      : monitor_(monitor),
        http_(http),
        name_(std::move(name)),
        url_(std::move(url)),
        local_(std::move(local)),
        head_(local_ + ".head"),
        probeHead_(monitor.paths.File("_dat.head")),
        partBody_(monitor.paths.File("_dat206.dat")),
        partHead_(monitor.paths.File("_dat206.head")) {}

  void Run() {
    // A range request needs a log to overlap: its last byte is asked again.
    const long long size = common::FileSize(local_);
    if (size > 0) {
      if (const std::optional<FileStamp> stamp = StampOf(head_)) {
        Differential(size, ParseHeaderFields(StoredHead(*stamp)));
        return;
      }
    }
    Full();
  }

 private:
  // The header file's text, read again only when the file changed since.
  std::string StoredHead(const FileStamp& stamp) {
    if (const std::string* kept = monitor_.storedHeads.Find(head_, stamp)) return *kept;
    std::optional<std::string> text = common::ReadWholeFile(head_);
    if (!text) return {};
    monitor_.storedHeads.Keep(head_, stamp, *text);
    return std::move(*text);
  }

  static void RestoreOrRemove(const std::string& path, const std::optional<std::string>& bytes) {
    if (bytes) {
      common::ReplaceFileAtomically(path, *bytes);
    } else {
      common::RemoveFile(path);
    }
  }
  void Log(std::string_view text) { WriteLog(monitor_, Detail(monitor_, text)); }
  void Caption(std::string_view text) { monitor_.form.cmdRUN.SetCaption(Detail(monitor_, text)); }
  void LogStatus() { Log(http_.LastStatusLine()); }
  // Only a failed connection is tried again: a stop, a body over the cap or
  // a file that cannot be written would fail the same way.
  bool Retryable() const { return http_.LastFailure() == HttpFailure::kConnection; }
  // The connection message, or what else went wrong (a body over the cap,
  // a file that cannot be written, a stop).
  void LogFailure(std::string_view connectionText, const std::string& file) {
    if (http_.LastFailure() == HttpFailure::kConnection) {
      Log("サーバ" + Quoted(Host()) + std::string(connectionText));
    } else {
      Log(Quoted(name_) + ":" + HttpFailureText(http_.LastFailure(), file));
    }
  }
  std::string Host() const { return UrlHost(url_); }
  // A range request: its answer lands in the shared scratch files.
  int ScratchRequest(std::string_view method, const std::string& headerFile,
                     const std::string& bodyFile, const std::string& extra) {
    HttpRequestSpec request;
    request.method = method;
    request.url = url_;
    request.headerFile = headerFile;
    request.bodyFile = bodyFile;
    request.agentKey = kAgent;
    request.extraHeaders = extra;
    request.scratchFiles = true;
    return http_.Send(request);
  }

  // `size` is the local log's, `stored` its header file's lines.
  void Differential(long long size, const HeaderFields& stored) {
    const std::string& lastModified = stored.lastModified;
    const size_t blank = lastModified.find(' ');
    const std::string since =
        blank == std::string::npos ? lastModified : lastModified.substr(blank + 1);
    // The range starts one byte before the local end: that byte must come
    // back as the line feed the log ends with, or the log changed under us
    // (a deleted post, or a page served in its place).
    const std::string extra =
        "If-Modified-Since: " + since + "\r\nRange: bytes=" + std::to_string(size - 1) + "-\r\n";

    bool connected = false;
    for (int attempt = 0;
         attempt < kAttemptsPerRequest && !connected && (attempt == 0 || Retryable()); ++attempt) {
      Caption(Quoted(name_) + "を調べています...");
      Log("HEAD " + url_ + "...");
      connected = ScratchRequest("head", probeHead_, "", extra) != -1;
    }
    if (!connected) {
      // Removed only now, not before each try: a successful probe overwrites
      // the file in place instead of creating a new one for every thread.
      common::RemoveFile(probeHead_);
      LogFailure("へのHEAD接続に失敗しました", probeHead_);
      return;
    }
    LogStatus();
    if (!ContinueAfterRangeAnswer()) return;
    // Only the overlapping byte: the log's time changed but it did not grow,
    // so it was rewritten in place.
    if (http_.LastHead().ContentLength() == 1) {
      Log("あぼーんを検出したっぽいのでdatを全部取得します");
      Full();
      return;
    }

    connected = false;
    for (int attempt = 0;
         attempt < kAttemptsPerRequest && !connected && (attempt == 0 || Retryable()); ++attempt) {
      Caption(Quoted(name_) + "の差分をダウンロードしています...");
      Log("GET(差分) " + url_ + "...");
      common::RemoveFile(partBody_);
      connected = ScratchRequest("get", partHead_, partBody_, extra) != -1;
    }
    if (!connected) {
      LogFailure("へのGET(差分)接続に失敗しました", partBody_);
      return;
    }
    LogStatus();
    if (!ContinueAfterRangeAnswer()) return;
    AppendPart();
  }

  // Judges the answer to a range request: true for 206 (new bytes follow).
  // 304 ends the thread quietly; 416 means the log shrank and is fetched anew.
  bool ContinueAfterRangeAnswer() {
    switch (http_.LastHead().StatusCode()) {
      case kHttpPartialContent:
        return true;
      case kHttpNotModified:
        return false;
      case kHttpRangeNotSatisfiable:
        Log("あぼーんを検出したっぽいのでdatを全部取得します");
        Full();
        return false;
      default:
        Log("不明なエラーが発生しました[" + http_.LastStatusLine() + "]");
        return false;
    }
  }

  void AppendPart() {
    const ContentLengthCheck check = CheckContentLength(partHead_, partBody_);
    if (!check.headerFileExists) {
      Log("datファイルの差分ダウンロードに失敗しました[ヘッダファイルが存在しない]");
      return;
    }
    if (!check.hasContentLength) {
      Log("datファイルの差分ダウンロードに失敗しました[" + Quoted("Content-Length") +
          "が存在しない]");
      return;
    }
    if (!check.Matches()) {
      // The local log stays as it is: the same bytes are asked for next time.
      Log("datファイルの差分ダウンロードに失敗しました[ファイルサイズが一致しない]");
      return;
    }
    std::optional<std::string> old = common::ReadWholeFile(local_);
    std::optional<std::string> part = common::ReadWholeFile(partBody_);
    const std::optional<std::string> previousHead = common::ReadWholeFile(head_);
    if (!old || !part) {
      Log("datファイルの差分ダウンロードに失敗しました[" + Quoted(local_) + "を読み込めない]");
      return;
    }
    if (old->empty() || old->back() != '\n' || part->empty() || part->front() != '\n' ||
        part->size() == 1) {
      // The overlapping byte is not the log's last line feed, or nothing
      // followed it: the log changed under us. The full download checks for
      // a page as well.
      Log("あぼーんを検出したっぽいのでdatを全部取得します");
      Full();
      return;
    }
    part->erase(0, 1);
    if (!common::ReplaceScratchFile(partBody_, *part)) {
      Log("datファイルの差分ダウンロードに失敗しました[" + Quoted(partBody_) + "に書き込めない]");
      return;
    }
    // The stored headers take the server's latest Date and Last-Modified and
    // state the size of the whole local log.
    const HeaderFields fields = ReadHeaderFile(partHead_);
    const std::string newHead =
        EditHeaderText(previousHead, "", fields.date, fields.lastModified,
                       "Content-Length: " + std::to_string(old->size() + part->size()), "");
    // A header file always states the size of the log beside it: it is gone
    // while the log grows, so a crash or a full disk in between leaves a log
    // that the next cycle downloads whole, not one its header file does not
    // describe.
    common::RemoveFile(head_);
    if (!common::ReplaceFileAtomically(local_, *old + *part)) {
      RestoreOrRemove(head_, previousHead);
      Log("datファイルの差分ダウンロードに失敗しました[" + Quoted(local_) + "に書き込めない]");
      return;
    }
    // Told only once the posts are in the log.
    const int newPosts = CountDatLines(partBody_);
    Log("新着" + SignedText(newPosts) + "件をダウンロードしました");
    if (monitor_.form.balloonEnabled) {
      const ListBox& list = monitor_.form.listDATDL[0];
      const int selected = list.ListIndex();
      monitor_.ShowBalloon("新着" + SignedText(newPosts) + "件:" +
                           (selected >= 0 && selected < list.Count() ? list.Item(selected) : ""));
    }
    if (!common::ReplaceFileAtomically(head_, newHead)) {
      Log("datファイルの差分ダウンロードに失敗しました[" + Quoted(head_) + "に書き込めない]");
    }
  }

  void Full() {
    // An error answer must not take the place of the log: kept as the log,
    // the next range request would append the thread's tail to the page.
    const std::optional<std::string> previousLog = common::ReadWholeFile(local_);
    const std::optional<std::string> previousHead = common::ReadWholeFile(head_);
    // The header file goes first (see AppendPart); it comes back when the
    // request stored nothing.
    common::RemoveFile(head_);
    bool connected = false;
    for (int attempt = 0;
         attempt < kAttemptsPerRequest && !connected && (attempt == 0 || Retryable()); ++attempt) {
      Caption(Quoted(name_) + "をダウンロードしています...");
      Log("GET " + url_ + "...");
      connected = http_.HttpRequest("get", url_, head_, local_, kAgent) != -1;
    }
    if (!connected) {
      LogFailure("へのGET接続に失敗しました", local_);
      if (common::ReadWholeFile(local_) == previousLog) RestoreOrRemove(head_, previousHead);
      return;
    }
    LogStatus();
    if (http_.LastHead().StatusCode() != kHttpOk) {
      // The files are put back as they were, so the next cycle asks again.
      Log(Quoted(name_) + "のダウンロードに失敗しました");
      RestoreOrRemove(local_, previousLog);
      RestoreOrRemove(head_, previousHead);
      return;
    }
    const std::string body = common::ReadWholeFile(local_).value_or("");
    // A dropped thread's dat URL answers an HTML page instead of a log.
    if (body.starts_with("<html") ||
        (body.find("</div>") != std::string::npos && body.find("<div ") != std::string::npos)) {
      Log(Quoted(name_) + "はdat落ちしている可能性があります");
      // A log held from before stays for the dat-fall processing once the
      // thread leaves the list; without its header file it is never the base
      // of a range request, so the page's tail cannot be appended to it.
      common::RemoveFile(head_);
      RestoreOrRemove(local_, previousLog);
      return;
    }
    const ContentLengthCheck check = CheckContentLength(head_, local_);
    if (!check.headerFileExists) {
      Log("datのダウンロードに失敗しました[ヘッダファイルが存在しない]");
    } else if (!check.hasContentLength) {
      Log("datのダウンロードに失敗しました[" + Quoted("Content-Length") + "が存在しない]");
    } else if (!check.Matches()) {
      Log("datのダウンロードに失敗しました[ファイルサイズが一致しない]");
      // Without its header file the cut log is never the base of a range
      // request: the next cycle downloads it whole again.
      common::RemoveFile(head_);
    }
  }

  Monitor& monitor_;
  HttpClient& http_;
  const std::string name_;
  const std::string url_;
  const std::string local_;
  const std::string head_;
  const std::string probeHead_;
  const std::string partBody_;
  const std::string partHead_;
};

std::string LastPathSegment(const std::string& url) {
  const size_t slash = url.rfind('/');
  return slash == std::string::npos ? url : url.substr(slash + 1);
}

}  // namespace

int CountDatLines(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return 0;
  long long count = 0;
  char buffer[65536];
  while (in) {
    in.read(buffer, sizeof buffer);
    count += static_cast<long long>(
        common::CountLineFeeds(std::string_view(buffer, static_cast<size_t>(in.gcount()))));
  }
  return static_cast<int>(count);
}

bool RetrieveDats(Monitor& monitor, HttpClient& http, const std::string& datFolder) {
  std::error_code error;
  std::filesystem::create_directories(datFolder, error);
  if (!std::filesystem::is_directory(datFolder, error)) return false;

  monitor.storedHeads.StartPass();
  ListBox& list = monitor.form.listDATDL[0];
  const int count = list.Count();
  for (int i = 0; i < count; ++i) {
    const std::optional<std::string> entry = SelectWithEvents(monitor, list, i);
    if (!entry) break;  // a nested list command may have shortened it
    const std::string name(EntryKeyPart(*entry));
    // The name becomes a file name under the dat folder and part of a URL.
    if (IsValidDatKey(name)) {
      const std::string url = DatUrlFromPage(ThreadPageUrl(monitor.form.txtURLBRD.Text(), name));
      ThreadRetrieval(monitor, http, name, url, datFolder + LastPathSegment(url)).Run();
    } else {
      WriteLog(monitor,
               Detail(monitor, Quoted(name) + "はdatファイル名として不正なのでスキップします"));
    }
    if (StopRequested(monitor)) {
      StopTail(monitor);
      return false;
    }
  }
  list.SetListIndex(-1);
  return true;
}

void InstallRetrieveDats(Monitor& monitor, HttpClient& http) {
  monitor.steps.retrieveDats = [&monitor, &http](const std::string& datFolder) {
    return RetrieveDats(monitor, http, datFolder);
  };
}

}  // namespace yagura
