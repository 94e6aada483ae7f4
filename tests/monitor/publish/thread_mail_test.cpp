// The thread information mail end to end: first posts from a real nginx, the
// mail through real Dovecot (POP before SMTP) and aiosmtpd, read back with
// Python's email package.
#include "monitor/publish/thread_mail.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "common/encoding.h"
#include "common/file_io.h"
#include "mail_test_support.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"
#include "monitor/core/thread_lists.h"
#include "publish_fixture.h"
#include "tests/servers/mail_server.h"
#include "tests/servers/nginx_server.h"

namespace yagura_test {
namespace {

namespace fs = std::filesystem;
using yagura::testing::MailServer;
using yagura::testing::NginxServer;
using yagura::testing::SmtpScriptServer;

// A first line as a board serves it: name, mail, date and ID, body, title.
const std::string kFirstPost =
    "名無しさん </b>◆trip <b><><>2026/12/08(火) 12:00:00 ID:abc<>"
    "本文 <br> ①㈱髙 &gt;&gt;2 <a href=\"x\">link</a> &amp;lt; <>ねこ画像スレ\n"
    "名無しさん<>sage<>2026/12/08(火) 12:01:00 ID:def<>二番目<>\n";

class ThreadMailTest : public PublishFixture {
 protected:
  void SetUp() override {
    PublishFixture::SetUp();
    ASSERT_TRUE(nginx_.Running()) << nginx_.ErrorLog();
    yagura::InitializeWindow(monitor_);
    monitor_.messageBoxes = &boxes_;
    transport_.limits.connectMilliseconds = 3000;
    transport_.limits.replyMilliseconds = 3000;
    yagura::Form& f = monitor_.form;
    f.txtURLBRD.SetText(nginx_.Url("/board/"));
    f.txtWORD1[0].SetText("ねこ");
    f.txtWORD2[0].SetText("画像");
    f.chkA[0].SetValue(1);
    yagura::SetRunState(monitor_, yagura::RunState::kRunning);
    // The work folder goes under the test's own folder.
    tmp_ = folder_ + "tmp";
    fs::create_directory(tmp_);
    setenv("TMPDIR", tmp_.c_str(), 1);
    nginx_.WriteFile("board/dat/100.dat", common::Utf8ToCp932(kFirstPost));
    nginx_.WriteFile("board/dat/300.dat", "<html><body>dropped</body></html>\n");
  }
  void TearDown() override {
    unsetenv("TMPDIR");
    PublishFixture::TearDown();
  }

  void SetServers(int popPort, int smtpPort, const std::string& to = "me@example.com") {
    yagura::Form& f = monitor_.form;
    f.txtMAILFROM.SetText("yagura@example.com");
    f.txtMAILTO.SetText(to);
    f.txtMAILPOP3HOSTPORT.SetText("127.0.0.1:" + std::to_string(popPort));
    f.txtMAILSMTPHOSTPORT.SetText("127.0.0.1:" + std::to_string(smtpPort));
    f.txtMAILPOP3USER.SetText("tester");
    f.txtMAILPOP3PASS.SetText("secret");
    f.txtMAILSMTPUSER.SetText("tester");
    f.txtMAILSMTPPASS.SetText("secret");
  }

  bool Send() { return mail_.SendThreadInformationMail(); }
  std::vector<std::string> MailList() const { return monitor_.form.listTHREADSEND[0].Items(); }
  std::vector<std::string> Mailed() const { return monitor_.form.listTHREADSEND[1].Items(); }
  bool Logged(const std::string& text) const {
    const std::string line = DetailLine(monitor_, text);
    return std::find(log_.begin(), log_.end(), line) != log_.end();
  }
  std::vector<std::string> WorkFolders() const {
    std::vector<std::string> found;
    for (const auto& entry : fs::directory_iterator(tmp_)) found.push_back(entry.path().string());
    return found;
  }
  std::string PageUrl(const std::string& key) const {
    return "http://127.0.0.1:" + std::to_string(nginx_.Port()) + "/test/read.cgi/board/" + key +
           "/";
  }

  NginxServer nginx_;
  RecordingBoxes boxes_;
  yagura::HttpClient http_{monitor_};
  yagura::MailTransport transport_{monitor_};
  yagura::ThreadMail mail_{monitor_, http_, transport_};
  std::string tmp_;
};

TEST_F(ThreadMailTest, MailsEveryThreadWithItsFirstPost) {
  MailServer pop(MailServer::Kind::kPop3, {});
  MailServer smtp(MailServer::Kind::kSmtp, {});
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  SetServers(pop.Port(), smtp.Port());
  yagura::Form& f = monitor_.form;
  const std::vector<std::string> entries = {"100.dat<>ねこ画像スレ (5)", "200.dat<>消えたスレ (3)",
                                            "300.dat<>落ちたスレ (9)"};
  f.listTHREADSEND[0].SetItems(entries);
  f.listTHREADSEND[1].AddItem("50.dat<>前のスレ (1)");
  // Pairs A and C both ask for an announcement of thread 100; B does not match.
  f.chkE[0].SetValue(1);
  f.txtWORD1[1].SetText("いぬ");
  f.txtWORD2[1].SetText("画像");
  f.chkE[1].SetValue(1);
  f.txtWORD1[2].SetText("ねこ");
  f.txtWORD2[2].SetText("スレ");
  f.chkE[2].SetValue(1);

  ASSERT_TRUE(Send());
  EXPECT_TRUE(MailList().empty());
  EXPECT_EQ(Mailed(),
            (std::vector<std::string>{"50.dat<>前のスレ (1)", entries[0], entries[1], entries[2]}));
  auto saved = common::ReadWholeFile(folder_ + "yagura_Thread.lst");
  ASSERT_TRUE(saved);
  EXPECT_NE(common::Cp932ToUtf8(*saved).find("300.dat<>落ちたスレ (9)"), std::string::npos);
  EXPECT_TRUE(WorkFolders().empty());

  const auto mails = smtp.ReceivedMails();
  ASSERT_EQ(mails.size(), 1u);
  const ParsedMail parsed = ParseWithPython(mails[0]);
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_EQ(parsed.subject, yagura::ThreadMailSubject(3, clock_.now));
  EXPECT_EQ(parsed.subject.rfind("3スレッドを発見@", 0), 0u);
  EXPECT_EQ(parsed.xMailer, yagura::BaseTitleText());
  const std::string expected =
      ">No.1/3:ねこ画像スレ\r\n" + PageUrl("100") +
      "\r\n発見時のレス数: 5レス\r\n"
      "1 名前:名無しさん <◆trip >\r\nメール:(空欄)\r\n投稿日、ID:2026/12/08(火) 12:00:00 ID:abc\r\n"
      "本文\r\n①㈱髙 >>2link&lt; \r\n\r\n"
      ">No.2/3:消えたスレ\r\n" +
      PageUrl("200") +
      "\r\n発見時のレス数: 3レス\r\n※1の本文のダウンロードに失敗しました。\r\n\r\n"
      ">No.3/3:落ちたスレ\r\n" +
      PageUrl("300") +
      "\r\n発見時のレス数: 9レス\r\n※このスレッドは既にdat落ちしている可能性があります。\r\n\r\n"
      ">-現在の設定-\r\n確認間隔: 60秒ごとに確認\r\n板URL: " +
      nginx_.Url("/board/") + "\r\nワードA1: ねこ\r\nワードA2: 画像\r\n-Yagura Version 0.3.86-\r\n";
  EXPECT_EQ(parsed.body, expected);

  // Announced once per matching pair, only for the thread whose post was read.
  const std::string announcement =
      "名無しさん <◆trip> ねこ画像スレ(5レス) #2ch\r\n" + PageUrl("100");
  EXPECT_EQ(yagura::LoadTwitterQueue(monitor_), announcement + "\t" + announcement + "\t");

  EXPECT_TRUE(
      Logged("GET http://127.0.0.1:" + std::to_string(nginx_.Port()) + "/board/dat/200.dat..."));
  EXPECT_TRUE(Logged(">>1の本文のダウンロードに失敗しました"));
  EXPECT_TRUE(Logged("フッタファイルはありませんでした。"));
  EXPECT_TRUE(Logged("メール送信前にメール総数を取得(POP befor SMTP)しています..."));
  EXPECT_TRUE(Logged("Twitterへ投稿するスレッド情報を集めました"));
  EXPECT_TRUE(boxes_.texts.empty()) << boxes_.All();
  EXPECT_EQ(smtp.Events(), (std::vector<std::string>{"EHLO", "AUTH ok LOGIN tester", "MAIL ok",
                                                     "DATA me@example.com"}));
}

TEST_F(ThreadMailTest, FailedMailKeepsThreadsAndQueuesTheirAnnouncementOnce) {
  MailServer pop(MailServer::Kind::kPop3, {});
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  monitor_.form.chkE[0].SetValue(1);
  monitor_.form.listTHREADSEND[0].SetItems({"100.dat<>ねこ画像スレ (5)"});
  const int closedPort = yagura::testing::FreeLoopbackPort();

  // POP3 unreachable, then SMTP unreachable: the threads stay for the next cycle.
  SetServers(closedPort, closedPort);
  EXPECT_FALSE(Send());
  EXPECT_TRUE(Logged("メール総数の取得(POP befor SMTP)に失敗しました"));
  SetServers(pop.Port(), closedPort);
  EXPECT_FALSE(Send());
  EXPECT_TRUE(Logged("メール送信に失敗しました"));
  EXPECT_EQ(MailList().size(), 1u);
  EXPECT_TRUE(Mailed().empty());
  EXPECT_TRUE(boxes_.texts.empty()) << boxes_.All();

  MailServer smtp(MailServer::Kind::kSmtp, {});
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  SetServers(pop.Port(), smtp.Port());
  EXPECT_TRUE(Send());
  EXPECT_EQ(smtp.ReceivedMails().size(), 1u);
  EXPECT_EQ(Mailed().size(), 1u);
  // Three attempts, one announcement.
  const std::string queue = yagura::LoadTwitterQueue(monitor_);
  EXPECT_EQ(std::count(queue.begin(), queue.end(), '\t'), 1) << queue;
}

TEST_F(ThreadMailTest, SettingsAreCheckedBeforeAnyTraffic) {
  struct Case {
    std::string name;
    std::string from, to, pop, smtp;
    bool result;
  };
  SmtpScriptServer peer(std::vector<SmtpScriptServer::Rule>{});
  const std::string server = "127.0.0.1:" + std::to_string(peer.Port());
  const std::vector<Case> cases = {
      {"no recipient: nothing sent, threads moved", "a@example.com", "", server, server, true},
      {"empty sender passes", "", "", server, server, true},
      {"POP3 setting without a colon", "a@example.com", "", "127.0.0.1", server, false},
      {"SMTP setting without a colon", "a@example.com", "", server, "127.0.0.1", false},
      {"sender without @", "nobody", "", server, server, false},
      {"recipient without @", "a@example.com", "nobody", server, server, false},
  };
  for (const Case& c : cases) {
    yagura::Form& f = monitor_.form;
    f.listTHREADSEND[0].SetItems({"200.dat<>消えたスレ (3)"});
    f.listTHREADSEND[1].Clear();
    f.txtMAILFROM.SetText(c.from);
    f.txtMAILTO.SetText(c.to);
    f.txtMAILPOP3HOSTPORT.SetText(c.pop);
    f.txtMAILSMTPHOSTPORT.SetText(c.smtp);
    EXPECT_EQ(Send(), c.result) << c.name;
    EXPECT_EQ(Mailed().size(), c.result ? 1u : 0u) << c.name;
    EXPECT_EQ(MailList().size(), c.result ? 0u : 1u) << c.name;
    EXPECT_TRUE(WorkFolders().empty()) << c.name;
  }
  EXPECT_EQ(peer.Connections(), 0);
  EXPECT_EQ(transport_.sessions, 0);
}

TEST_F(ThreadMailTest, StopDuringTheStepEndsItWithoutMail) {
  SmtpScriptServer peer(std::vector<SmtpScriptServer::Rule>{});
  SetServers(peer.Port(), peer.Port());
  monitor_.form.listTHREADSEND[0].SetItems(
      {"100.dat<>ねこ画像スレ (5)", "200.dat<>消えたスレ (3)"});
  int workFolders = 0;
  mode_t workMode = 0;
  pump_.onPump = [&] {
    for (const std::string& path : WorkFolders()) {
      struct stat info {};
      if (lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
        ++workFolders;
        workMode = info.st_mode & 07777;
      }
    }
    yagura::SetRunState(monitor_, yagura::RunState::kStopped);
  };
  EXPECT_FALSE(Send());
  EXPECT_EQ(MailList().size(), 2u);
  EXPECT_TRUE(Mailed().empty());
  EXPECT_EQ(peer.Connections(), 0);
  // The first thread's post was fetched, the second's not.
  EXPECT_EQ(nginx_.Requests(1).size(), 1u);
  // A private folder existed while the step ran, and is gone now.
  EXPECT_GT(workFolders, 0);
  EXPECT_EQ(workMode, 0700u);
  EXPECT_TRUE(WorkFolders().empty());
}

TEST_F(ThreadMailTest, FooterComesFromTheFileOrTheAdministratorBlock) {
  MailServer pop(MailServer::Kind::kPop3, {});
  MailServer smtp(MailServer::Kind::kSmtp, {});
  ASSERT_TRUE(pop.Running()) << pop.StartError();
  ASSERT_TRUE(smtp.Running()) << smtp.StartError();
  SetServers(pop.Port(), smtp.Port());
  monitor_.form.txtCGIINDEXURL.SetText("http://up.example.net/list.html");
  struct Case {
    std::string name;
    bool admin;
    bool file;
    std::string bytes;  // CP932
    std::string footer;
    std::string logLine;
  };
  const std::vector<Case> cases = {
      {"file with mixed line ends", false, true, common::Utf8ToCp932("髙橋\nb\r\nc\rd"),
       "髙橋\r\nb\r\nc\r\nd\r\n", "フッタファイルを読み込みました。"},
      {"empty file", false, true, "", "※フッタファイルの読み込みに失敗しました。\r\n",
       "フッタファイルの読み込みに失敗しました。"},
      {"administrator", true, true, "ignored",
       yagura::AdminFooter("http://up.example.net/list.html"),
       "管理者モードのフッタを設定します。"},
  };
  for (const Case& c : cases) {
    monitor_.commandLine = c.admin ? "yagura /ownermode" : "yagura";
    common::RemoveFile(folder_ + "yagura_foot.txt");
    if (c.file) {
      ASSERT_TRUE(common::ReplaceFileAtomically(folder_ + "yagura_foot.txt", c.bytes));
    }
    log_.clear();
    const size_t before = smtp.ReceivedMails().size();
    ASSERT_TRUE(Send()) << c.name;
    const auto mails = smtp.ReceivedMails();
    ASSERT_EQ(mails.size(), before + 1) << c.name;
    const ParsedMail parsed = ParseWithPython(mails.back());
    ASSERT_TRUE(parsed.ok) << parsed.error;
    EXPECT_EQ(parsed.subject.rfind("0スレッドを発見@", 0), 0u) << c.name;
    EXPECT_EQ(parsed.body.rfind(c.footer + ">-現在の設定-\r\n", 0), 0u) << c.name << "\n"
                                                                        << parsed.body;
    EXPECT_TRUE(Logged(c.logLine)) << c.name;
  }
}

TEST(ThreadMailTextTest, PostBodiesAreCleanedInOrder) {
  yagura::Monitor monitor;
  struct Case {
    std::string in, out;
  };
  for (const Case& c : std::vector<Case>{
           {"a <br> b", "a\r\nb"},
           {"&gt;&gt;1 <a href=\"../test/read.cgi/x/1/1\" target=\"_blank\">&gt;&gt;1</a>",
            ">>1>>1"},
           {"&amp;lt; &quot;q&quot;&nbsp;x", "&lt; \"q\" x"},
           {"no tags at all", "no tags at all"},
           {"a <> b", "ab"},
       }) {
    EXPECT_EQ(yagura::CleanPostBody(monitor, c.in), c.out) << c.in;
  }
}

TEST(ThreadMailTextTest, PairsToAnnounceNeedTheirBoxAndBothWords) {
  yagura::Form form;
  const char* words[3][2] = {{"ねこ", "画像"}, {"", "画像"}, {"ネコ", "スレ"}};
  for (int i = 0; i < 3; ++i) {
    form.txtWORD1[i].SetText(words[i][0]);
    form.txtWORD2[i].SetText(words[i][1]);
    form.chkE[i].SetValue(1);
  }
  struct Case {
    std::string title;
    std::vector<int> pairs;
  };
  for (const Case& c : std::vector<Case>{
           {"ねこ画像スレ", {0, 2}},  // C through the folded kana
           {"ﾈｺの画像", {0}},         // half-width katakana
           {"画像だけ", {}},          // B has no first word: matches nothing
           {"ねこスレ", {2}},
       }) {
    EXPECT_EQ(yagura::PairsToAnnounce(form, c.title), c.pairs) << c.title;
  }
  form.chkE[0].SetValue(0);
  EXPECT_EQ(yagura::PairsToAnnounce(form, "ねこ画像スレ"), std::vector<int>{2});
}

TEST(ThreadMailTextTest, AnnouncementHasNoTabAndTagsTheFirstLine) {
  EXPECT_EQ(yagura::ThreadAnnouncement("名無し </b>◆x <b>", "ta\tb", "12", "http://h/p/"),
            "名無し <◆x> ta b(12レス) #2ch\r\nhttp://h/p/");
}

}  // namespace
}  // namespace yagura_test
