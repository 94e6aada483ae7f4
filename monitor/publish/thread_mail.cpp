#include "monitor/publish/thread_mail.h"

#include <stdlib.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <system_error>

#include "common/encoding.h"
#include "common/file_io.h"
#include "common/line_ends.h"
#include "common/text_fold.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/board_urls.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "monitor/core/thread_lists.h"

namespace yagura {
namespace {

constexpr std::string_view kDownloadFailed = "※1の本文のダウンロードに失敗しました。";
constexpr std::string_view kMaybeDropped = "※このスレッドは既にdat落ちしている可能性があります。";
constexpr std::string_view kFooterUnreadable = "※フッタファイルの読み込みに失敗しました。";

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  if (from.empty()) return;
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) {
    text.replace(at, from.size(), to);
  }
}

std::vector<std::string> SplitAt(std::string_view text, std::string_view separator) {
  std::vector<std::string> parts;
  size_t from = 0;
  for (size_t at; (at = text.find(separator, from)) != std::string_view::npos;
       from = at + separator.size()) {
    parts.emplace_back(text.substr(from, at - from));
  }
  parts.emplace_back(text.substr(from));
  return parts;
}

// The private work folder of one mail: made by mkdtemp (mode 0700, a name
// nobody can guess or take first) under TMPDIR or /tmp, removed with its
// files when the step ends.
class WorkFolder {
 public:
  explicit WorkFolder(const std::string& exeName) {
    const char* tmp = std::getenv("TMPDIR");
    std::string base = tmp && *tmp ? tmp : "/tmp";
    if (base.back() != '/') base += '/';
    std::string pattern = base + exeName + "_mail_XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern + "/";
  }
  ~WorkFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  WorkFolder(const WorkFolder&) = delete;
  WorkFolder& operator=(const WorkFolder&) = delete;
  // "" when the folder could not be made.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// "host:port" split at its first ":"; the port is the leading digits of
// the rest (0 without any).
void SplitServer(std::string_view setting, std::string& host, int& port) {
  const size_t colon = setting.find(':');
  host = std::string(setting.substr(0, colon));
  port = 0;
  for (char c : setting.substr(colon + 1)) {
    if (c < '0' || c > '9' || port > 65535) break;
    port = port * 10 + (c - '0');
  }
}

bool SenderOk(const std::string& address) {
  return address.empty() || address.find('@') != std::string::npos;
}

}  // namespace

std::string ThreadMailSubject(size_t threadCount, std::time_t now) {
  static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
  std::tm tm{};
  localtime_r(&now, &tm);
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%04d/%02d/%02d(%s)%02d:%02d:%02d", tm.tm_year + 1900,
                tm.tm_mon + 1, tm.tm_mday, kWeekdays[tm.tm_wday % 7], tm.tm_hour, tm.tm_min,
                tm.tm_sec);
  return std::to_string(threadCount) + "スレッドを発見@" + buffer + " - " + kProgramTitle;
}

std::string AdminFooter(std::string_view uploadIndexUrl) {
  return ">-以下、役に立つかもしれない雑多リンク-\r\n"
         "掲示板の案内: https://www.example.net/guide/\r\n"
         "過去ログ倉庫: https://kako.example.net/\r\n"
         "スレッド検索: https://search.example.net/\r\n"
         "まとめサイト: https://matome.example.org/\r\n"
         "アップローダ: https://up.example.org/\r\n"
         "使い方: https://help.example.com/yagura/\r\n"
         "一時的な圧縮dat/html化したファイル保管庫:" +
         std::string(uploadIndexUrl) + "\r\n";
}

std::string FooterFileText(std::string_view bytes) {
  std::string text = common::NormalizeToCrLf(common::Cp932ToUtf8(bytes));
  if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0) text += "\r\n";
  return text;
}

std::string SettingsSummary(const Form& form) {
  std::string summary = ">-現在の設定-\r\n";
  summary += "確認間隔: " + form.cmbTIME.SelectedText() + "\r\n";
  summary += "板URL: " + form.txtURLBRD.Text() + "\r\n";
  static const char* const kPairs[] = {"A", "B", "C"};
  for (int i = 0; i < 3; ++i) {
    if (!form.chkA[i].IsOn()) continue;
    summary += std::string("ワード") + kPairs[i] + "1: " + form.txtWORD1[i].Text() + "\r\n";
    summary += std::string("ワード") + kPairs[i] + "2: " + form.txtWORD2[i].Text() + "\r\n";
  }
  return summary;
}

std::string CleanPostBody(Monitor& monitor, std::string_view body) {
  std::string text(body);
  ReplaceAll(text, "> ", ">");
  ReplaceAll(text, " <", "<");
  ReplaceAll(text, "<br>", "\r\n");
  ReplaceAll(text, "<>", "");
  // Without both "<" and ">" there is no tag, and the text stays as it is.
  if (text.find('<') != std::string::npos && text.find('>') != std::string::npos) {
    text = StripTags(monitor, text);
  }
  ReplaceAll(text, "&nbsp;", " ");
  ReplaceAll(text, "&quot;", "\"");
  ReplaceAll(text, "&lt;", "<");
  ReplaceAll(text, "&gt;", ">");
  // Last, so that "&amp;lt;" stays "&lt;" as the poster wrote it.
  ReplaceAll(text, "&amp;", "&");
  return text;
}

bool ParseFirstPost(Monitor& monitor, std::string_view logText, FirstPost& post) {
  if (logText.substr(0, 5) == "<html" || (logText.find("<div ") != std::string_view::npos &&
                                          logText.find("</div>") != std::string_view::npos)) {
    return false;
  }
  std::string_view line = logText.substr(0, logText.find("\r\n"));
  // The first line ends with "<>" and the thread title: cut after the last "<>".
  if (size_t last = line.rfind("<>"); last != std::string_view::npos) {
    line = line.substr(0, last);
  }
  std::vector<std::string> fields = SplitAt(line, "<>");
  fields.resize(std::max<size_t>(fields.size(), 4));
  post.name = fields[0];
  std::string shownName = fields[0];
  ReplaceAll(shownName, "</b>", "<");
  ReplaceAll(shownName, "<b>", ">");
  // A body that held "<>" was split too: its pieces belong together.
  std::string body = fields[3];
  for (size_t i = 4; i < fields.size(); ++i) body += "<>" + fields[i];
  post.block = "1 名前:" + shownName + "\r\n";
  post.block += "メール:" + (fields[1].empty() ? std::string("(空欄)") : fields[1]) + "\r\n";
  post.block += "投稿日、ID:" + fields[2] + "\r\n";
  post.block += CleanPostBody(monitor, body) + "\r\n";
  return true;
}

std::string ThreadAnnouncement(std::string_view name, std::string_view title,
                               std::string_view posts, std::string_view pageUrl) {
  std::string shownName(name);
  ReplaceAll(shownName, " </b>", " <");
  ReplaceAll(shownName, " <b>", ">");
  std::string announcement = shownName + " " + std::string(title) + "(" + std::string(posts) +
                             "レス)\r\n" + std::string(pageUrl);
  ReplaceAll(announcement, ")\r\n", ") #2ch\r\n");
  // A TAB ends an announcement in the queue: none may come from the name or title.
  for (char& c : announcement) {
    if (c == '\t') c = ' ';
  }
  return announcement;
}

std::vector<int> PairsToAnnounce(const Form& form, std::string_view title) {
  std::vector<int> pairs;
  for (int i = 0; i < 3; ++i) {
    const std::string& word1 = form.txtWORD1[i].Text();
    const std::string& word2 = form.txtWORD2[i].Text();
    if (!form.chkE[i].IsOn() || word1.empty() || word2.empty()) continue;
    // The title search finds threads through folded words (ﾈｺ for ねこ); such
    // a thread keeps its pair's announcement.
    const bool asWritten =
        title.find(word1) != std::string_view::npos && title.find(word2) != std::string_view::npos;
    if (asWritten ||
        (common::ContainsFolded(title, word1) && common::ContainsFolded(title, word2))) {
      pairs.push_back(i);
    }
  }
  return pairs;
}

void ThreadMail::Detail(std::string_view text) { WriteDetailLog(monitor_, text); }

void ThreadMail::Show(std::string_view text) {
  monitor_.form.cmdRUN.SetCaption(DetailLine(monitor_, text));
}

std::string ThreadMail::FetchFirstPost(const std::string& pageUrl, const std::string& downloadPath,
                                       std::string& name, bool& read) {
  read = false;
  Show(">>1の本文をダウンロードしています...");
  const std::string datUrl = DatUrlFromPage(pageUrl);
  Detail("GET " + datUrl + "...");
  common::RemoveFile(downloadPath);
  int result = http_.HttpRequest("get", datUrl, "", downloadPath, "2ch");
  if (result == -1) result = http_.HttpRequest("get", datUrl, "", downloadPath, "2ch");
  if (result == -1) {
    Detail("サーバ\"" + UrlHost(datUrl) + "\"への接続に失敗しました");
    return std::string(kDownloadFailed) + "\r\n";
  }
  Detail(http_.LastStatusLine());
  if (http_.LastStatusLine().find(" 200 ") == std::string::npos) {
    Detail(">>1の本文のダウンロードに失敗しました");
    return std::string(kDownloadFailed) + "\r\n";
  }
  const auto bytes = common::ReadWholeFile(downloadPath);
  const std::string text = common::NormalizeToCrLf(common::Cp932ToUtf8(bytes ? *bytes : ""));
  FirstPost post;
  if (!ParseFirstPost(monitor_, text, post)) return std::string(kMaybeDropped) + "\r\n";
  name = post.name;
  read = true;
  return post.block;
}

void ThreadMail::QueueAnnouncements(const std::string& key, const std::string& title,
                                    const std::string& announcement) {
  if (announced_.count(key)) return;
  bool queued = false;
  for ([[maybe_unused]] int pair : PairsToAnnounce(monitor_.form, title)) {
    if (!AppendTwitterAnnouncement(monitor_, announcement)) {
      Detail("Twitterに投稿するスレッド情報を保存できませんでした");
      continue;
    }
    queued = true;
    Show("Twitterへ投稿するスレッド情報を集めました");
    WriteLog(monitor_, monitor_.form.cmdRUN.Caption());
  }
  if (queued) announced_.insert(key);
}

bool ThreadMail::SendThreadInformationMail() {
  Form& form = monitor_.form;
  WorkFolder work(monitor_.paths.exeName);
  Show("スレッド情報をメールで送信しています...");
  LoadTwitterQueue(monitor_);

  if (!SenderOk(form.txtMAILFROM.Text()) || !SenderOk(form.txtMAILTO.Text()) ||
      form.txtMAILPOP3HOSTPORT.Text().find(':') == std::string::npos ||
      form.txtMAILSMTPHOSTPORT.Text().find(':') == std::string::npos) {
    return false;
  }
  if (work.Path().empty()) {
    Detail("作業フォルダを作成できませんでした");
    return false;
  }
  const std::string downloadPath = work.Path() + monitor_.paths.exeName + ".dat";

  const std::vector<std::string> entries = form.listTHREADSEND[0].Items();
  const std::string subject = ThreadMailSubject(entries.size(), monitor_.Now());

  Detail("フッタを設定しています...");
  std::string footer;
  if (monitor_.AdministratorMode()) {
    Detail("管理者モードのフッタを設定します。");
    footer = AdminFooter(form.txtCGIINDEXURL.Text());
  } else {
    const std::string footerPath = monitor_.paths.File("_foot.txt");
    if (common::FileExists(footerPath)) {
      const auto bytes = common::ReadWholeFile(footerPath);
      if (bytes && !bytes->empty()) {
        Detail("フッタファイルを読み込みました。");
        footer = FooterFileText(*bytes);
      } else {
        Detail("フッタファイルの読み込みに失敗しました。");
        footer = std::string(kFooterUnreadable) + "\r\n";
      }
    } else {
      Detail("フッタファイルはありませんでした。");
    }
  }
  const std::string summary = SettingsSummary(form);
  Detail("フッタを設定しました。");

  std::string blocks;
  for (size_t i = 0; i < entries.size(); ++i) {
    const std::string& entry = entries[i];
    Show("スレッド情報を集めています...");
    form.listTHREADSEND[0].SetListIndex(static_cast<int>(i));
    monitor_.PumpOnce();

    const std::string key(EntryKeyPart(entry));
    const size_t titleStart = entry.find("<>");
    const size_t countStart = entry.rfind(" (");
    std::string title, posts;
    if (titleStart != std::string::npos) {
      const size_t from = titleStart + 2;
      title = entry.substr(from, countStart != std::string::npos && countStart >= from
                                     ? countStart - from
                                     : std::string::npos);
      if (countStart != std::string::npos && countStart >= from) {
        posts = entry.substr(countStart + 2);
        if (!posts.empty() && posts.back() == ')') posts.pop_back();
      }
    }
    const std::string pageUrl = ThreadPageUrl(form.txtURLBRD.Text(), key);
    blocks += ">No." + std::to_string(i + 1) + "/" + std::to_string(entries.size()) + ":" + title +
              "\r\n" + pageUrl + "\r\n" + "発見時のレス数: " + posts + "レス\r\n";

    std::string name;
    bool read = false;
    blocks += FetchFirstPost(pageUrl, downloadPath, name, read);
    blocks += "\r\n";
    if (read) QueueAnnouncements(key, title, ThreadAnnouncement(name, title, posts, pageUrl));

    if (StopRequested(monitor_)) {
      StopTail(monitor_);
      return false;
    }
  }

  const std::string body = blocks + footer + summary + "-" + form.baseTitle + "-\r\n";
  bool result = false;
  if (form.txtMAILTO.Text().empty()) {
    result = true;
  } else {
    const std::string popMessage = "メール送信前にメール総数を取得(POP befor SMTP)しています...";
    Show(popMessage);
    Detail(popMessage);
    std::string host;
    int port = 0;
    SplitServer(form.txtMAILPOP3HOSTPORT.Text(), host, port);
    if (!transport_.PopBeforeSmtp(host, port, form.txtMAILPOP3USER.Text(),
                                  form.txtMAILPOP3PASS.Text(), true, false)) {
      Show("メール総数の取得(POP befor SMTP)に失敗しました");
      Detail("メール総数の取得(POP befor SMTP)に失敗しました");
      if (!transport_.LastError().empty()) Detail("POP3: " + transport_.LastError());
    } else {
      Show("スレッド情報をメールで送信しています...");
      Detail("スレッド情報をメールで送信しています...");
      MailRequest request;
      SplitServer(form.txtMAILSMTPHOSTPORT.Text(), request.host, request.port);
      request.user = form.txtMAILSMTPUSER.Text();
      request.password = form.txtMAILSMTPPASS.Text();
      request.authMode = "LOGIN";
      request.to = form.txtMAILTO.Text();
      request.from = form.txtMAILFROM.Text();
      request.subject = subject;
      request.body = body;
      request.extraHeader = "X-Mailer: " + form.baseTitle + "\r\n";
      if (transport_.SendMail(request, false)) {
        Show("スレッド情報をメールで送信しました");
        result = true;
      } else {
        Show("メール送信に失敗しました");
        Detail("メール送信に失敗しました");
        if (!transport_.LastError().empty()) Detail("SMTP: " + transport_.LastError());
      }
    }
  }

  if (result) {
    ListBox& mailList = form.listTHREADSEND[0];
    ListBox& mailed = form.listTHREADSEND[1];
    for (const std::string& entry : mailList.Items()) {
      mailed.AddItem(entry);
      announced_.erase(std::string(EntryKeyPart(entry)));
    }
    mailList.Clear();
    SaveLists(monitor_);
  }
  if (StopRequested(monitor_)) StopTail(monitor_);
  return result;
}

std::function<bool()> MakeSendThreadMail(Monitor& monitor, HttpClient& http,
                                         MailTransport& transport) {
  auto mail = std::make_shared<ThreadMail>(monitor, http, transport);
  return [mail] { return mail->SendThreadInformationMail(); };
}

}  // namespace yagura
