// The thread information mail: one mail per cycle with every thread of the
// mail list (title, address, post count and its first post downloaded from
// the board), a footer and the current settings; sent with POP before SMTP,
// after which the threads move to the mailed list. Threads whose word pair
// asks for it get a Twitter announcement, queued once per thread however
// often its mail has to be tried again.
//
// Wiring, once at start-up:
//   monitor.steps.sendThreadMail = MakeSendThreadMail(monitor, http, transport);
#pragma once

#include <ctime>
#include <functional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/core/monitor.h"
#include "monitor/http/http_client.h"
#include "monitor/publish/mail_transport.h"

namespace yagura {

// "<n>スレッドを発見@yyyy/mm/dd(火)hh:mm:ss - Yagura".
std::string ThreadMailSubject(size_t threadCount, std::time_t now);

// The administrator footer: a heading, six fixed links and the uploaded
// files' list address, each line ended by CR LF.
std::string AdminFooter(std::string_view uploadIndexUrl);

// The footer file's text with CR LF line ends and a final CR LF.
std::string FooterFileText(std::string_view bytes);

// ">-現在の設定-" and the interval, the board and the mailed word pairs.
std::string SettingsSummary(const Form& form);

// The parts of a first post, as the mail shows them.
struct FirstPost {
  std::string name;  // raw name field (for the announcement)
  std::string block;  // "1 名前:..." CR LF "メール:..." CR LF "投稿日、ID:..." CR LF body CR LF
};

// Turns the downloaded first line of a log into the post's block; false
// when the text looks like an HTML page (the thread has dropped).
bool ParseFirstPost(Monitor& monitor, std::string_view logText, FirstPost& post);

// A post body as the mail shows it: line breaks, no tags, plain entities.
std::string CleanPostBody(Monitor& monitor, std::string_view body);

// Name, blank, title, "(", posts, "レス) #2ch", CR LF, page URL.
std::string ThreadAnnouncement(std::string_view name, std::string_view title,
                               std::string_view posts, std::string_view pageUrl);

// The word pairs (0 = A, 1 = B, 2 = C) whose Twitter box is checked and
// whose two words both occur in the title: as written, or as the title
// search matches them (case, width, kana type). A pair without words
// matches nothing.
std::vector<int> PairsToAnnounce(const Form& form, std::string_view title);

class ThreadMail {
 public:
  ThreadMail(Monitor& monitor, HttpClient& http, MailTransport& transport)
      : monitor_(monitor), http_(http), transport_(transport) {}

  // The step of the run cycle. True when the mail went out or no recipient
  // is set; false on a malformed setting, a failed POP or SMTP, or a stop.
  bool SendThreadInformationMail();

 private:
  void Detail(std::string_view text);
  void Show(std::string_view text);  // on the run button only
  std::string FetchFirstPost(const std::string& pageUrl, const std::string& downloadPath,
                             std::string& name, bool& read);
  void QueueAnnouncements(const std::string& key, const std::string& title,
                          const std::string& announcement);

  Monitor& monitor_;
  HttpClient& http_;
  MailTransport& transport_;
  // Threads whose announcements are already queued: a mail tried again in
  // the next cycle must not queue them again.
  std::set<std::string> announced_;
};

// The step bound to the program's HTTP client and mail transport.
std::function<bool()> MakeSendThreadMail(Monitor& monitor, HttpClient& http,
                                         MailTransport& transport);

}  // namespace yagura
