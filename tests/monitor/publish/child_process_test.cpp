#include "monitor/publish/child_process.h"

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <thread>

#include <gtest/gtest.h>

#include "common/file_io.h"
#include "monitor/core/run_state.h"
#include "publish_fixture.h"

namespace yagura {
namespace {

using namespace std::chrono_literals;
using Seconds = std::chrono::duration<double>;

TEST(SplitCommandLineTest, QuotesGroupBlanksAndAreDropped) {
  struct Case {
    const char* line;
    std::vector<std::string> args;
  };
  const Case cases[] = {
      {"", {}},
      {"   ", {}},
      {"a b  c", {"a", "b", "c"}},
      {"\"/p q/shoin/shoin\" \"/p q/dat/1.dat\" \"/p q/dat\" /js=80F /v",
       {"/p q/shoin/shoin", "/p q/dat/1.dat", "/p q/dat", "/js=80F", "/v"}},
      {"\"\" x", {"", "x"}},
      {"a\"b c\"d", {"ab cd"}},
      {"tab\tsplits ", {"tab", "splits"}},
  };
  for (const Case& c : cases) EXPECT_EQ(SplitCommandLine(c.line), c.args) << c.line;
}

// True once the process is gone or only a zombie waiting for its parent.
bool ProcessGone(pid_t pid) {
  for (int i = 0; i < 100; ++i) {
    if (::kill(pid, 0) != 0) return true;
    auto stat = common::ReadWholeFile("/proc/" + std::to_string(pid) + "/stat");
    if (!stat) return true;
    size_t close = stat->rfind(')');
    if (close != std::string::npos && close + 2 < stat->size() && (*stat)[close + 2] == 'Z') {
      return true;
    }
    std::this_thread::sleep_for(20ms);
  }
  return false;
}

class RunAndWaitTest : public yagura_test::PublishFixture {};

TEST_F(RunAndWaitTest, PassesQuotedArgumentsAndPumpsWhileWaiting) {
  const std::string script =
      WriteScript("bin dir/child", "sleep 0.3; printf '%s\\n' \"$@\" > \"$1.args\"");
  const std::string out = folder_ + "out file";
  RunAndWaitResult run = RunAndWait(monitor_, "\"" + script + "\" \"" + out + "\" /v");
  EXPECT_EQ(run.outcome, ChildOutcome::kExited);
  EXPECT_EQ(common::ReadWholeFile(out + ".args").value_or(""), out + "\n/v\n");
  // 0.3 s at 25 ms a poll: the window was pumped all along.
  EXPECT_GE(pump_.calls, 5);
}

TEST_F(RunAndWaitTest, MissingProgramIsNotStarted) {
  RunAndWaitResult run = RunAndWait(monitor_, "\"" + folder_ + "no such program\" x");
  EXPECT_EQ(run.outcome, ChildOutcome::kNotStarted);
  EXPECT_NE(run.error.find("no such program"), std::string::npos) << run.error;
}

// A child that never exits, and one that even ignores SIGTERM, are ended at
// the limit together with what they started, and reaped.
TEST_F(RunAndWaitTest, ChildThatNeverExitsIsEndedAtTheLimit) {
  struct Case {
    const char* name;
    const char* body;
  };
  const Case cases[] = {
      {"hang", "sleep 1000 & echo $! > \"$0.pids\"; echo $$ >> \"$0.pids\"; wait"},
      {"stubborn",
       "trap '' TERM; sleep 1000 & echo $! > \"$0.pids\"; echo $$ >> \"$0.pids\"; wait"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string script = WriteScript(c.name, c.body);
    RunAndWaitOptions options;
    options.timeLimit = 300ms;
    const auto start = std::chrono::steady_clock::now();
    RunAndWaitResult run = RunAndWait(monitor_, "\"" + script + "\"", options);
    const double took = Seconds(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(run.outcome, ChildOutcome::kTimedOut);
    EXPECT_GE(took, 0.3);
    EXPECT_LT(took, 5.0);  // limit + one second of grace, with room for a busy machine
    std::string pids = common::ReadWholeFile(script + ".pids").value_or("");
    ASSERT_FALSE(pids.empty());
    for (size_t at = 0; at < pids.size();) {
      size_t end = pids.find('\n', at);
      pid_t pid = static_cast<pid_t>(std::stol(pids.substr(at, end - at)));
      EXPECT_TRUE(ProcessGone(pid)) << pid;
      at = end == std::string::npos ? pids.size() : end + 1;
    }
  }
}

// SIGTERM (or the end menu) and the stop button during a conversion end the
// wait and the converter at once instead of after the time limit.
TEST_F(RunAndWaitTest, ExitOrStopRequestEndsTheWaitAndTheChildAtOnce) {
  struct Case {
    const char* name;
    std::function<void(Monitor&)> request;
  };
  const Case cases[] = {
      {"exit", [](Monitor& m) { SetExitRequest(m, ExitRequest::kRequested); }},
      {"stop", [](Monitor& m) { StopTail(m); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string script =
        WriteScript(std::string("hang_") + c.name, "echo $$ > \"$0.pid\"; exec sleep 1000");
    SetExitRequest(monitor_, ExitRequest::kNone);
    SetRunState(monitor_, RunState::kRunning);
    monitor_.cycleInProgress = true;
    int pumps = 0;
    pump_.onPump = [&] {
      if (++pumps == 40) c.request(monitor_);
    };
    RunAndWaitOptions options;
    options.timeLimit = std::chrono::seconds(60);
    const auto start = std::chrono::steady_clock::now();
    RunAndWaitResult run = RunAndWait(monitor_, "\"" + script + "\"", options);
    EXPECT_EQ(run.outcome, ChildOutcome::kAbandoned);
    EXPECT_LT(Seconds(std::chrono::steady_clock::now() - start).count(), 5.0);
    std::string pid = common::ReadWholeFile(script + ".pid").value_or("");
    ASSERT_FALSE(pid.empty());
    EXPECT_TRUE(ProcessGone(static_cast<pid_t>(std::stol(pid))));
  }
}

// A monitor killed with SIGKILL takes its converter with it.
TEST_F(RunAndWaitTest, ChildDiesWithAKilledMonitor) {
  const std::string pidFile = folder_ + "converter.pid";
  pid_t monitorPid = ::fork();
  ASSERT_GE(monitorPid, 0);
  if (monitorPid == 0) {
    ChildProcess child;
    std::string error;
    if (!child.Start({"/bin/sh", "-c", "echo $$ > '" + pidFile + "'; exec sleep 1000"}, error)) {
      ::_exit(1);
    }
    for (;;) ::pause();
  }
  std::string pid;
  for (int i = 0; i < 500 && (pid = common::ReadWholeFile(pidFile).value_or("")).empty(); ++i) {
    std::this_thread::sleep_for(10ms);
  }
  ::kill(monitorPid, SIGKILL);
  ::waitpid(monitorPid, nullptr, 0);
  ASSERT_FALSE(pid.empty());
  EXPECT_TRUE(ProcessGone(static_cast<pid_t>(std::stol(pid))));
}

}  // namespace
}  // namespace yagura
