#include "monitor/http/refresh_subject.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "common/encoding.h"
#include "http_test_support.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_cycle.h"
#include "monitor/core/run_state.h"
#include "tests/servers/script_server.h"

namespace yagura::testing {
namespace {

constexpr const char* kSubject = "1262300000.dat<>first thread (5)\n1262300001.dat<>second (7)\n";

class RefreshSubjectTest : public NginxMonitorTest {
 protected:
  void SetUp() override {
    NginxMonitorTest::SetUp();
    subjectPath = Path("_subject.txt");
    indexPath = folder + "_index.html";
  }
  // The pane lines, without the time stamps' values.
  std::string Log() const { return m.form.txtLOG.Text(); }
  bool Logged(const std::string& text) const {
    return Log().find(std::string(kDetailPrefix) + text + "(") != std::string::npos;
  }
  std::string Caption() const { return m.form.cmdRUN.Caption(); }
  static std::string Html(const std::string& utf8) { return common::Utf8ToCp932(utf8); }
  // nginx logs a request after answering it: the logged requests whose line
  // holds `path`, once at least `count` of them are there (up to 3 s).
  static std::vector<NginxServer::Request> Matching(std::string_view path, size_t count) {
    std::vector<NginxServer::Request> hits;
    for (int waited = 0; waited <= 3000; waited += 10) {
      hits.clear();
      for (const NginxServer::Request& r : nginx_->Requests()) {
        if (r.requestLine.find(path) != std::string::npos) hits.push_back(r);
      }
      if (hits.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return hits;
  }
  static NginxServer::Request Latest(std::string_view path, size_t count) {
    std::vector<NginxServer::Request> hits = Matching(path, count);
    return hits.empty() ? NginxServer::Request{} : hits.back();
  }

  std::string subjectPath, indexPath;
};

TEST_F(RefreshSubjectTest, FetchesTheListWhole) {
  ASSERT_TRUE(nginx_->WriteFile("ok/subject.txt", kSubject));
  m.form.txtURLBRD.SetText(nginx_->Url("/ok/"));
  ASSERT_TRUE(common::ReplaceFileAtomically(indexPath, "stale"));
  EXPECT_TRUE(RefreshSubject(m, client, subjectPath));
  EXPECT_EQ(Contents(subjectPath), kSubject);
  EXPECT_FALSE(common::FileExists(subjectPath + ".head"));
  EXPECT_FALSE(common::FileExists(indexPath));
  EXPECT_TRUE(Logged("GET " + nginx_->Url("/ok/") + "subject.txt..."));
  EXPECT_TRUE(Logged("HTTP/1.1 200 OK"));
  EXPECT_EQ(Caption(),
            std::string(kDetailPrefix) + "subject.txtの更新に成功しました(" + m.Time() + ")");
  EXPECT_EQ(Latest("/ok/subject.txt", 1).userAgent, "Monazilla/1.00 (Yagura/0.3.86)");
}

// A maintenance or error page answered with 200 is no thread list: the
// refresh fails, so no followed thread is taken as dropped.
TEST_F(RefreshSubjectTest, ListWithoutAThreadLineIsAFailedRefresh) {
  const struct {
    const char* name;
    std::string body;
  } cases[] = {
      {"maintenance page", Html("<html><body>只今メンテナンス中です</body></html>\n")},
      {"lines without keys", "abc<>title (1)\nnothing here\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(nginx_->WriteFile("maint/subject.txt", c.body));
    m.form.txtURLBRD.SetText(nginx_->Url("/maint/"));
    EXPECT_FALSE(RefreshSubject(m, client, subjectPath));
    EXPECT_TRUE(Logged("subject.txtの更新に失敗しました[スレッド一覧の行が1行もない]"));
    EXPECT_FALSE(common::FileExists(subjectPath));
    EXPECT_FALSE(common::FileExists(subjectPath + ".head"));
  }
  // One good line among others is a list.
  ASSERT_TRUE(nginx_->WriteFile("maint/subject.txt", std::string("junk\n") + kSubject));
  EXPECT_TRUE(RefreshSubject(m, client, subjectPath));
}

TEST_F(RefreshSubjectTest, ShortListIsDroppedWithoutMoveHandling) {
  ScriptServer liar(
      {Send("HTTP/1.1 200 OK\r\nContent-Length: 1234\r\n\r\n" + std::string(1233, 'x'))});
  m.form.txtURLBRD.SetText(liar.Url("/b/"));
  EXPECT_FALSE(RefreshSubject(m, client, subjectPath));
  EXPECT_TRUE(
      Logged("subject.txtの更新に失敗しました[ファイルサイズが一致しない:HEAD( 1234バイト)、FILE( "
             "1233バイト)]"));
  EXPECT_FALSE(common::FileExists(subjectPath));
  EXPECT_FALSE(common::FileExists(subjectPath + ".head"));
  EXPECT_EQ(liar.Requests().size(), 1u);
}

TEST_F(RefreshSubjectTest, FailuresNameTheirCause) {
  const int closedPort = FreeLoopbackPort();
  const std::string closedHost = "127.0.0.1:" + std::to_string(closedPort);
  struct Case {
    std::string boardUrl;
    std::string message;
  } cases[] = {
      {"http://" + closedHost + "/b/", "サーバ\"" + closedHost + "\"への接続に失敗しました"},
      {nginx_->Url("/missing/"),
       "subject.txtの更新に失敗しました[HttpStatusCode:HTTP/1.1 404 Not Found]"},
  };
  for (const Case& c : cases) {
    m.form.txtURLBRD.SetText(c.boardUrl);
    EXPECT_FALSE(RefreshSubject(m, client, subjectPath));
    EXPECT_TRUE(Logged(c.message)) << Log();
    EXPECT_FALSE(common::FileExists(subjectPath + ".head"));
  }
  ScriptServer noLength({Send("HTTP/1.1 200 OK\r\nServer: x\r\n\r\nabc")});
  m.form.txtURLBRD.SetText(noLength.Url("/b/"));
  EXPECT_FALSE(RefreshSubject(m, client, subjectPath));
  EXPECT_TRUE(Logged("subject.txtの更新に失敗しました[\"Content-Length\"が存在しない]"));
}

TEST_F(RefreshSubjectTest, RedirectFailsWithoutMoveHandling) {
  ScriptServer redirect(
      {Send("HTTP/1.1 302 Found\r\nLocation: http://x/\r\nContent-Length: 0\r\n\r\n")});
  m.form.txtURLBRD.SetText(redirect.Url("/b/"));
  EXPECT_FALSE(RefreshSubject(m, client, subjectPath));
  EXPECT_TRUE(Logged("subject.txtの更新に失敗しました[HttpStatusCode:HTTP/1.1 302 Found]"));
  EXPECT_EQ(redirect.Requests().size(), 1u);
}

TEST_F(RefreshSubjectTest, FollowsAMovedBoard) {
  NginxServer newServer;
  ASSERT_TRUE(newServer.Running()) << newServer.ErrorLog();
  ASSERT_TRUE(newServer.WriteFile("newb/subject.txt", kSubject));
  const std::string newBoard = newServer.Url("/newb/");
  ASSERT_TRUE(nginx_->WriteFile("oldb/subject.txt", ""));
  // The link is upper case and the page's first line is not a link.
  ASSERT_TRUE(
      nginx_->WriteFile("oldb/index.html", Html("<html><body>\r\n移転しました。\n<A HREF=\"" +
                                                newBoard + "\">新しい板</a>\r\n</body></html>")));
  const std::string oldBoard = nginx_->Url("/oldb/");
  m.form.txtURLBRD.SetText(oldBoard);
  EXPECT_TRUE(RefreshSubject(m, client, subjectPath));
  EXPECT_EQ(m.form.txtURLBRD.Text(), newBoard);
  EXPECT_EQ(Contents(subjectPath), kSubject);
  EXPECT_TRUE(Logged("サーバが移転したようです。index.htmlをダウンロードしています..."));
  EXPECT_TRUE(Logged("移転前URL:" + oldBoard));
  EXPECT_TRUE(Logged("移転先URL:" + newBoard));
  EXPECT_FALSE(common::FileExists(indexPath));
  EXPECT_FALSE(common::FileExists(indexPath + ".head"));
  const NginxServer::Request top = Latest("GET /oldb/ HTTP", 1);
  EXPECT_EQ(top.requestLine, "GET /oldb/ HTTP/1.0");
  EXPECT_EQ(top.userAgent, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.1)");
}

TEST_F(RefreshSubjectTest, EndlessMovesAreCutOff) {
  ASSERT_TRUE(nginx_->WriteFile("loop/subject.txt", ""));
  const std::string board = nginx_->Url("/loop/");
  ASSERT_TRUE(nginx_->WriteFile("loop/index.html", "<a href=\"" + board + "\">here</a>\n"));
  m.form.txtURLBRD.SetText(board);
  EXPECT_FALSE(RefreshSubject(m, client, subjectPath));
  EXPECT_TRUE(Logged("サーバ移転が続いています。移転先を辿るのを中止しました"));
  // Four lists and three top pages.
  EXPECT_EQ(Matching("/loop/", 7).size(), 7u);
  EXPECT_FALSE(common::FileExists(indexPath));
}

TEST_F(RefreshSubjectTest, MovedPageWithoutAUsableLinkFails) {
  const char* pages[] = {
      "<html>\n<p>closed <a href='x'></p>\n",        // no line-leading link
      "<html>\n<a href=\"/relative/\">x</a>\n",      // no http after it
      "<html>\n<a href=\"http://s2/b/\n\">x</a>\n",  // broken over lines
      "<html>\n<a href=http://s2/b/>x</a>\n",        // no closing quote
  };
  ASSERT_TRUE(nginx_->WriteFile("gone/subject.txt", ""));
  for (const char* page : pages) {
    ASSERT_TRUE(nginx_->WriteFile("gone/index.html", page));
    m.form.txtURLBRD.SetText(nginx_->Url("/gone/"));
    EXPECT_FALSE(RefreshSubject(m, client, subjectPath)) << page;
    EXPECT_TRUE(Logged("移転先URLが見つかりません")) << page;
    EXPECT_EQ(m.form.txtURLBRD.Text(), nginx_->Url("/gone/"));
    EXPECT_FALSE(common::FileExists(indexPath + ".head"));
    m.form.txtLOG.SetText("");
  }
}

TEST_F(RefreshSubjectTest, RunCycleFetchesTheListAsItsFirstStep) {
  ASSERT_TRUE(nginx_->WriteFile("cycle/subject.txt", kSubject));
  m.form.txtURLBRD.SetText(nginx_->Url("/cycle/"));
  InstallRefreshSubject(m, client);
  // "Now" is pressed on a running monitor; on a stopped one a transfer that
  // outlasts one event pump would be taken for a stop.
  SetRunState(m, RunState::kRunning);
  cmdNOW_Click(m);
  EXPECT_TRUE(Logged("GET " + nginx_->Url("/cycle/") + "subject.txt..."));
  EXPECT_NE(Log().find("subject.txtを更新しました("), std::string::npos) << Log();
}

// With the list kept from the last refresh, the board is asked with its
// Last-Modified: a 304 hands the kept list to the title search; a changed
// list comes whole and is kept in its turn; another board is asked plainly.
TEST_F(RefreshSubjectTest, KeptListIsAskedForOnlyWhenChanged) {
  const std::string served = nginx_->Root() + "/polite/subject.txt";
  auto setTime = [&](int seconds) {
    std::filesystem::last_write_time(
        served, std::filesystem::file_time_type::clock::now() + std::chrono::seconds(seconds));
  };
  ASSERT_TRUE(nginx_->WriteFile("polite/subject.txt", kSubject));
  setTime(-100);
  m.form.txtURLBRD.SetText(nginx_->Url("/polite/"));
  SubjectCache cache;
  ASSERT_TRUE(RefreshSubject(m, client, subjectPath, &cache));
  EXPECT_EQ(Latest("/polite/subject.txt", 1).ifModifiedSince, "-");
  EXPECT_EQ(cache.bytes, kSubject);
  ASSERT_FALSE(cache.lastModified.empty());

  common::RemoveFile(subjectPath);
  ASSERT_TRUE(RefreshSubject(m, client, subjectPath, &cache));
  const NginxServer::Request asked = Latest("/polite/subject.txt", 2);
  EXPECT_EQ(asked.status, 304);
  EXPECT_EQ(asked.ifModifiedSince, cache.lastModified);
  EXPECT_EQ(Contents(subjectPath), kSubject);
  EXPECT_FALSE(common::FileExists(subjectPath + ".head"));
  EXPECT_TRUE(Logged("HTTP/1.1 304 Not Modified"));

  const std::string changed = std::string(kSubject) + "1262300002.dat<>third (1)\n";
  ASSERT_TRUE(nginx_->WriteFile("polite/subject.txt", changed));
  setTime(-50);
  ASSERT_TRUE(RefreshSubject(m, client, subjectPath, &cache));
  EXPECT_EQ(Latest("/polite/subject.txt", 3).status, 200);
  EXPECT_EQ(Contents(subjectPath), changed);
  EXPECT_EQ(cache.bytes, changed);

  // A maintenance page in its place is not kept (nor taken as the list).
  ASSERT_TRUE(nginx_->WriteFile("polite/subject.txt", Html("<html>メンテナンス中</html>\n")));
  setTime(-10);
  EXPECT_FALSE(RefreshSubject(m, client, subjectPath, &cache));
  EXPECT_EQ(cache.bytes, changed);

  ASSERT_TRUE(nginx_->WriteFile("other/subject.txt", kSubject));
  m.form.txtURLBRD.SetText(nginx_->Url("/other/"));
  ASSERT_TRUE(RefreshSubject(m, client, subjectPath, &cache));
  EXPECT_EQ(Latest("/other/subject.txt", 1).ifModifiedSince, "-");
}

}  // namespace
}  // namespace yagura::testing
