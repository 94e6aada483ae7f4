// The cycle's board steps (refresh, title search, dat retrieval) against the
// demo board simulator served by a real nginx, over several board changes
// and a restart, with a fake clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/search_titles.h"
#include "monitor/core/thread_lists.h"
#include "monitor/http/refresh_subject.h"
#include "monitor/http/retrieve_dats.h"
#include "monitor_fixture.h"
#include "tests/servers/nginx_server.h"

namespace yagura {
namespace {

using testing::NginxServer;

class FakeClock : public Clock {
 public:
  double UptimeSeconds() override { return uptime; }
  std::time_t Now() override { return now; }
  void SleepMilliseconds(int milliseconds) override { uptime += milliseconds / 1000.0; }
  double uptime = 1000;
  std::time_t now = 1796700000;
};

struct SimEvent {
  std::string event, key, title;
};

// A text field of one JSON line the simulator printed (no escapes occur).
std::string Field(const std::string& line, const std::string& name) {
  const std::string tag = "\"" + name + "\": \"";
  size_t at = line.find(tag);
  if (at == std::string::npos) return "";
  at += tag.size();
  return line.substr(at, line.find('"', at) - at);
}

// Titles of the demo board that the word pairs below follow.
bool Followed(const std::string& title) {
  for (const char* word : {"画像", "ニュース", "質問"}) {
    if (title.find(word) != std::string::npos) return true;
  }
  return false;
}

class DemoBoardTest : public testing::MonitorFixture {
 protected:
  void SetUp() override {
    MonitorFixture::SetUp();
    ASSERT_TRUE(nginx_.Running()) << nginx_.ErrorLog();
    Configure(monitor_);
  }
  void Configure(Monitor& m) {
    m.clock = &clock_;
    m.form.txtURLBRD.SetText(nginx_.Url("/demo/"));
    const char* words[3][2] = {{"ねこ", "画像"}, {"ニュース", "速報"}, {"linux", "質問"}};
    for (int i = 0; i < 3; ++i) {
      m.form.txtWORD1[i].SetText(words[i][0]);
      m.form.txtWORD2[i].SetText(words[i][1]);
      m.form.chkB[i].SetValue(1);
    }
    m.form.chkA[0].SetValue(1);
    m.processDroppedThread = [this](const std::string& title, const std::string& path) {
      handedOver_.emplace_back(title, path);
      return true;
    };
  }

  std::vector<SimEvent> Sim(const std::string& args) {
    const std::string command = "/usr/bin/python3 " TEST_SOURCE_DIR
                                "/tools/demo/board_sim.py --root " +
                                nginx_.Root() + " --state " + Path("board_state.json") + " " + args;
    std::vector<SimEvent> events;
    FILE* out = ::popen(command.c_str(), "r");
    if (!out) return events;
    char buffer[4096];
    while (std::fgets(buffer, sizeof buffer, out)) {
      std::string line(buffer);
      events.push_back({Field(line, "event"), Field(line, "key"), Field(line, "title")});
      if (events.back().event == "new") titles_[events.back().key] = events.back().title;
    }
    EXPECT_EQ(::pclose(out), 0) << command;
    // Every change carries a later modification time than the one before.
    return events;
  }

  // One cycle of the board steps, as the run cycle calls them.
  bool Cycle(Monitor& m, HttpClient& http) {
    clock_.now += 60;
    mark_ = nginx_.Requests().size();
    const std::string subject = m.paths.File("_subject.txt");
    common::RemoveFile(subject);
    if (!RefreshSubject(m, http, subject)) return false;
    if (!SearchTitles(m, subject)) return false;
    return m.form.listDATDL[0].Count() == 0 || RetrieveDats(m, http, m.paths.DatFolder());
  }

  // Request lines ("GET /demo/subject.txt") of the last cycle.
  std::vector<std::string> CycleRequests(size_t expected) {
    std::vector<std::string> lines;
    auto all = nginx_.Requests(mark_ + expected, 3000);
    for (size_t i = mark_; i < all.size(); ++i) {
      const std::string& line = all[i].requestLine;
      lines.push_back(line.substr(0, line.rfind(' ')));
    }
    return lines;
  }

  std::set<std::string> FollowedKeys(const Monitor& m) {
    std::set<std::string> keys;
    for (const std::string& entry : m.form.listDATDL[0].Items()) {
      keys.insert(std::string(EntryKeyPart(entry)));
    }
    return keys;
  }
  std::set<std::string> ExpectedFollowed() {
    std::set<std::string> keys;
    for (const auto& [key, title] : titles_) {
      if (Followed(title) && !dropped_.count(key)) keys.insert(key + ".dat");
    }
    return keys;
  }
  // Every followed log is a byte-for-byte copy of the board's.
  void ExpectLocalCopies(const Monitor& m) {
    for (const std::string& name : FollowedKeys(m)) {
      SCOPED_TRACE(name);
      EXPECT_EQ(common::ReadWholeFile(m.paths.DatFolder() + name).value_or("<missing>"),
                common::ReadWholeFile(nginx_.Root() + "/demo/dat/" + name).value_or("<none>"));
    }
  }
  std::string FirstFollowed() {
    for (const auto& [key, title] : titles_) {
      if (Followed(title)) return key;
    }
    return "";
  }

  NginxServer nginx_;
  FakeClock clock_;
  size_t mark_ = 0;
  std::map<std::string, std::string> titles_;  // key -> title, as the simulator made them
  std::set<std::string> dropped_;
  std::vector<std::pair<std::string, std::string>> handedOver_;
};

TEST_F(DemoBoardTest, FollowsTheBoardThroughChangesAndARestart) {
  Sim("init --board demo --seed 4 --threads 6");
  const std::string shortened = Sim("new \"ﾈｺ画像スレ【癒し】その99\" --posts 4")[0].key;
  Sim("new \"雑談スレ＠のんびり 100\" --posts 2");
  HttpClient http(monitor_);

  // Cycle 1: every matching thread is found and downloaded whole.
  ASSERT_TRUE(Cycle(monitor_, http));
  const std::set<std::string> first = ExpectedFollowed();
  ASSERT_GE(first.size(), 2u);
  EXPECT_EQ(FollowedKeys(monitor_), first);
  ExpectLocalCopies(monitor_);
  EXPECT_EQ(PaneCount("をdatダウンロード予定リストに追加しました"), static_cast<int>(first.size()));
  for (const std::string& entry : monitor_.form.listTHREADSEND[0].Items()) {
    EXPECT_NE(entry.find("画像"), std::string::npos) << entry;
  }
  ASSERT_FALSE(monitor_.form.listTHREADSEND[0].Items().empty());

  // Cycle 2: posts appended to one thread, a post deleted in another, a new
  // matching thread.
  std::string grown = first.begin()->substr(0, first.begin()->size() - 4);
  if (grown == shortened) grown = first.rbegin()->substr(0, first.rbegin()->size() - 4);
  Sim("post " + grown + " 3");
  Sim("abone " + shortened + " 2");
  const std::string fresh = Sim("new \"【速報】ニュース実況スレ 77\" --posts 5")[0].key;
  ASSERT_TRUE(Cycle(monitor_, http));
  EXPECT_EQ(FollowedKeys(monitor_), ExpectedFollowed());
  ExpectLocalCopies(monitor_);
  EXPECT_EQ(PaneCount("新着 3件をダウンロードしました"), 1);
  EXPECT_EQ(PaneCount("あぼーんを検出したっぽいのでdatを全部取得します"), 1);
  EXPECT_EQ(PaneCount("\"" + fresh + ".dat\"をdatダウンロード予定リストに追加しました"), 1);

  // Cycle 3: a followed thread falls off the board.
  Sim("drop " + grown);
  dropped_.insert(grown);
  ASSERT_TRUE(Cycle(monitor_, http));
  EXPECT_EQ(FollowedKeys(monitor_), ExpectedFollowed());
  ASSERT_EQ(monitor_.form.listDATDL[1].Count(), 1);
  EXPECT_EQ(EntryKeyPart(monitor_.form.listDATDL[1].Item(0)), grown + ".dat");
  ASSERT_EQ(handedOver_.size(), 1u);
  EXPECT_EQ(handedOver_[0], std::make_pair(titles_[grown], Path("dat/" + grown + ".dat")));
  EXPECT_EQ(PaneCount("[" + grown + ".dat]はdat落ちしています"), 1);
  // The log file (CP932) carries the same messages.
  const std::string logFile =
      common::Cp932ToUtf8(common::ReadWholeFile(Path("yagura.log")).value_or(""));
  EXPECT_NE(logFile.find("[" + grown + ".dat]はdat落ちしています"), std::string::npos);
  EXPECT_NE(logFile.find("新着 3件をダウンロードしました"), std::string::npos);

  // Cycle 4: nothing changed: one GET of the list, one HEAD per thread.
  ASSERT_TRUE(Cycle(monitor_, http));
  std::vector<std::string> expected = {"GET /demo/subject.txt"};
  for (const std::string& name : monitor_.form.listDATDL[0].Items()) {
    expected.push_back("HEAD /demo/dat/" + std::string(EntryKeyPart(name)));
  }
  EXPECT_EQ(CycleRequests(expected.size()), expected);

  // The mail step would move the mailed threads; then the program ends.
  for (const std::string& entry : monitor_.form.listTHREADSEND[0].Items()) {
    monitor_.form.listTHREADSEND[1].AddItem(entry);
  }
  monitor_.form.listTHREADSEND[0].Clear();
  ASSERT_TRUE(SaveLists(monitor_));
  const std::vector<std::string> mailed = monitor_.form.listTHREADSEND[1].Items();
  const std::vector<std::string> fallen = monitor_.form.listDATDL[1].Items();

  // Restart: the kept lists come back, the queues are rebuilt from the
  // board, and no log is downloaded again.
  Monitor restarted;
  restarted.paths = monitor_.paths;
  restarted.form.baseTitle = monitor_.form.baseTitle;
  SetRunState(restarted, RunState::kRunning);
  Configure(restarted);
  ASSERT_TRUE(LoadLists(restarted));
  EXPECT_EQ(restarted.form.listTHREADSEND[1].Items(), mailed);
  EXPECT_EQ(restarted.form.listDATDL[1].Items(), fallen);
  HttpClient http2(restarted);
  ASSERT_TRUE(Cycle(restarted, http2));
  EXPECT_TRUE(restarted.form.listTHREADSEND[0].Items().empty());
  EXPECT_EQ(FollowedKeys(restarted), ExpectedFollowed());
  EXPECT_EQ(restarted.form.listDATDL[1].Items(), fallen);
  for (const std::string& line : CycleRequests(1 + ExpectedFollowed().size())) {
    EXPECT_FALSE(line.starts_with("GET /demo/dat/")) << line;
  }
  EXPECT_EQ(handedOver_.size(), 1u);
}

TEST_F(DemoBoardTest, BoardMoveIsFollowedToTheNewAddress) {
  Sim("init --board demo --seed 9 --threads 3");
  Sim("new \"ＬＩＮＵＸ初心者質問スレ Part50\" --posts 3");
  HttpClient http(monitor_);
  ASSERT_TRUE(Cycle(monitor_, http));
  Sim("move demo2 --base-url " + nginx_.Url("/"));
  ASSERT_TRUE(Cycle(monitor_, http));
  EXPECT_EQ(monitor_.form.txtURLBRD.Text(), nginx_.Url("/demo2/"));
  EXPECT_EQ(FollowedKeys(monitor_), ExpectedFollowed());
  EXPECT_TRUE(monitor_.form.listDATDL[1].Items().empty());
  for (const std::string& name : FollowedKeys(monitor_)) {
    EXPECT_EQ(common::ReadWholeFile(monitor_.paths.DatFolder() + name).value_or("<missing>"),
              common::ReadWholeFile(nginx_.Root() + "/demo2/dat/" + name).value_or("<none>"));
  }
}

}  // namespace
}  // namespace yagura
