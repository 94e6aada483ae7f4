#include "monitor/http/refresh_subject.h"

#include <memory>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/message_text.h"
#include "monitor/core/search_titles.h"
#include "monitor/http/header_file.h"
#include "monitor/http/response_head.h"
#include "monitor/http/text_search.h"

namespace yagura {
namespace {

constexpr const char* kQuote = "\"";

// Every message of the refresh goes to the run button's caption; the logged
// ones also go to the log.
class Reporter {
 public:
  explicit Reporter(Monitor& monitor) : monitor_(monitor) {}
  std::string Detail(const std::string& text) const { return DetailLine(monitor_, text); }
  void Caption(const std::string& text) const { monitor_.form.cmdRUN.SetCaption(Detail(text)); }
  void Logged(const std::string& text) const {
    const std::string message = Detail(text);
    monitor_.form.cmdRUN.SetCaption(message);
    WriteLog(monitor_, message);
  }

 private:
  Monitor& monitor_;
};

// The file size as written in the mismatch message: a leading blank for 0
// and up, as a number's standard text form has.
std::string SizeText(long long size) {
  return size >= 0 ? " " + std::to_string(size) : std::to_string(size);
}

enum class FetchOutcome {
  kWhole,
  kNotModified,
  kConnectionFailed,
  kFailed,
  kSizeMismatch,
  kEmptyAnswer
};

// Fetches `url` into `bodyPath` and checks status and length; `what` names
// the file in the failure messages ("subject.txt", "index.html").
FetchOutcome FetchAndCheck(Monitor& monitor, HttpClient& client, const Reporter& report,
                           const std::string& url, const std::string& bodyPath,
                           const std::string& agentKey, const std::string& what,
                           const std::string& ifModifiedSince = {}) {
  const std::string headerPath = bodyPath + ".head";
  const std::string host = UrlHost(monitor.form.txtURLBRD.Text());
  // The list and the top page are read back within this cycle only.
  HttpRequestSpec request;
  request.method = "get";
  request.url = url;
  request.headerFile = headerPath;
  request.bodyFile = bodyPath;
  request.agentKey = agentKey;
  request.scratchFiles = true;
  if (!ifModifiedSince.empty())
    request.extraHeaders = "If-Modified-Since: " + ifModifiedSince + "\r\n";
  const int received = client.Send(request);
  if (received == -1) {
    if (client.LastFailure() == HttpFailure::kConnection) {
      report.Logged(std::string("サーバ") + kQuote + host + kQuote + "への接続に失敗しました");
    } else {
      report.Logged(what + ":" + HttpFailureText(client.LastFailure(), bodyPath));
    }
    return FetchOutcome::kConnectionFailed;
  }
  report.Caption(std::string("サーバ") + kQuote + host + kQuote + "へ接続しました");
  const std::string& status = client.LastStatusLine();
  report.Logged(status);

  const std::string failed =
      what + (what == "subject.txt" ? "の更新に失敗しました[" : "のダウンロードに失敗しました[");
  if (!ifModifiedSince.empty() && client.LastHead().StatusCode() == kHttpNotModified) {
    return FetchOutcome::kNotModified;
  }
  if (client.LastHead().StatusCode() != kHttpOk) {
    report.Logged(failed + "HttpStatusCode:" + status + "]");
    return FetchOutcome::kFailed;
  }
  const ContentLengthCheck check = CheckContentLength(headerPath, bodyPath);
  if (!check.headerFileExists) {
    report.Logged(failed + "ヘッダファイルが存在しない]");
    return FetchOutcome::kFailed;
  }
  if (!check.hasContentLength) {
    report.Logged(failed + kQuote + "Content-Length" + kQuote + "が存在しない]");
    return FetchOutcome::kFailed;
  }
  if (check.expected == check.actual) return FetchOutcome::kWhole;
  report.Logged(failed + "ファイルサイズが一致しない:HEAD( " + check.lengthText + "バイト)、FILE(" +
                SizeText(check.actual) + "バイト)]");
  // An empty answer is how a moved board answers.
  return check.expected == 0 ? FetchOutcome::kEmptyAnswer : FetchOutcome::kSizeMismatch;
}

// The new board URL on a moved board's top page: the first line that begins
// with a link, from its first "http" up to the closing double quote.
std::string MovedBoardUrl(const std::string& pageBytes) {
  std::string text = common::Cp932ToUtf8(pageBytes);
  std::string lines;
  lines.reserve(text.size() + 2);
  // Line ends become CR LF; the text starts with one so that a link on the
  // first line counts as line-leading too.
  lines += "\r\n";
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r') {
      lines += "\r\n";
      if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else if (text[i] == '\n') {
      lines += "\r\n";
    } else {
      lines += text[i];
    }
  }
  size_t link = FindIgnoringCase(lines, "\r\n<a href=");
  if (link == std::string::npos) return {};
  size_t http = FindIgnoringCase(lines, "http", link);
  if (http == std::string::npos) return {};
  size_t quote = lines.find('"', http);
  if (quote == std::string::npos) return {};
  std::string url = lines.substr(http, quote - http);
  // A link broken over lines or holding blanks is no address for the URL box
  // (and would break the settings file's line).
  for (char c : url) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return {};
  }
  return url;
}

}  // namespace

bool RefreshSubject(Monitor& monitor, HttpClient& client, const std::string& path,
                    SubjectCache* cache) {
  const Reporter report(monitor);
  const std::string headerPath = path + ".head";
  const std::string indexPath = monitor.paths.folder + "_index.html";
  const std::string indexHeaderPath = indexPath + ".head";

  for (int moves = 0;; ++moves) {
    const std::string boardUrl = monitor.form.txtURLBRD.Text();
    report.Caption("subject.txtをダウンロードしています...");
    report.Logged("GET " + boardUrl + "subject.txt...");
    // Asked conditionally only for the board the kept list came from.
    const bool haveList = cache && cache->boardUrl == boardUrl && !cache->lastModified.empty();
    const FetchOutcome subject =
        FetchAndCheck(monitor, client, report, boardUrl + "subject.txt", path, "2ch", "subject.txt",
                      haveList ? cache->lastModified : std::string());
    if (subject == FetchOutcome::kNotModified) {
      // The list has not changed: the title search works on the one kept.
      common::RemoveFile(headerPath);
      if (!common::ReplaceScratchFile(path, cache->bytes)) {
        report.Logged("subject.txtの更新に失敗しました[" + std::string(kQuote) + path + kQuote +
                      "に書き込めない]");
        return false;
      }
      report.Caption("subject.txtは更新されていません");
      return true;
    }
    if (subject == FetchOutcome::kWhole &&
        !HasThreadLine(common::ReadWholeFile(path).value_or(""))) {
      // A maintenance or error page answered with 200: taken as the list, it
      // would mark every followed thread as dropped.
      report.Logged("subject.txtの更新に失敗しました[スレッド一覧の行が1行もない]");
      common::RemoveFile(path);
      common::RemoveFile(headerPath);
      return false;
    }
    if (subject == FetchOutcome::kWhole) {
      if (cache) {
        cache->boardUrl = boardUrl;
        cache->lastModified = std::string(client.LastHead().Find("Last-Modified").value_or(""));
        cache->bytes = common::ReadWholeFile(path).value_or("");
      }
      report.Caption("subject.txtの更新に成功しました");
      common::RemoveFile(headerPath);
      common::RemoveFile(indexPath);
      common::RemoveFile(indexHeaderPath);
      return true;
    }
    if (subject == FetchOutcome::kConnectionFailed || subject == FetchOutcome::kFailed) {
      common::RemoveFile(headerPath);
      return false;
    }
    // A list of the wrong size is dropped with its header file.
    common::RemoveFile(path);
    common::RemoveFile(headerPath);
    if (subject == FetchOutcome::kSizeMismatch) return false;

    // The server answered with an empty list: the board has moved.
    if (moves == kMaxBoardMovesPerRefresh) {
      report.Logged("サーバ移転が続いています。移転先を辿るのを中止しました");
      common::RemoveFile(indexPath);
      common::RemoveFile(indexHeaderPath);
      return false;
    }
    report.Logged("サーバが移転したようです。index.htmlをダウンロードしています...");
    common::RemoveFile(indexPath);
    const FetchOutcome index =
        FetchAndCheck(monitor, client, report, boardUrl, indexPath, "IE6XP", "index.html");
    if (index != FetchOutcome::kWhole) {
      common::RemoveFile(indexPath);
      common::RemoveFile(indexHeaderPath);
      return false;
    }
    report.Caption("index.htmlのダウンロードに成功しました");

    report.Logged("移転先URLを解析しています...");
    const std::string newUrl = MovedBoardUrl(common::ReadWholeFile(indexPath).value_or(""));
    if (newUrl.empty()) {
      report.Logged("移転先URLが見つかりません");
      common::RemoveFile(indexHeaderPath);
      return false;
    }
    report.Logged("移転前URL:" + boardUrl);
    report.Logged("移転先URL:" + newUrl);
    monitor.form.txtURLBRD.SetText(newUrl);
  }
}

void InstallRefreshSubject(Monitor& monitor, HttpClient& client) {
  auto cache = std::make_shared<SubjectCache>();
  monitor.steps.refreshSubject = [&monitor, &client, cache](const std::string& path) {
    return RefreshSubject(monitor, client, path, cache.get());
  };
}

}  // namespace yagura
