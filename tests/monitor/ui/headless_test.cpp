// The real yagura binary, headless, in a program folder of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

class HeadlessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/yagura_headless_XXXXXX";
    folder = mkdtemp(pattern);
    folder += "/";
    // The program folder is the executable's folder.
    fs::copy_file(std::string(TEST_PROGRAM_DIR) + "/yagura", folder + "yagura");
  }
  void TearDown() override {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
  }
  void Write(const std::string& name, const std::string& utf8) {
    ASSERT_TRUE(common::ReplaceFileAtomically(folder + name, common::Utf8ToCp932(utf8)));
  }
  // The console's output is UTF-8.
  std::string ReadUtf8(const std::string& name) {
    return common::ReadWholeFile(folder + name).value_or("");
  }
  std::string Read(const std::string& name) {
    return common::Cp932ToUtf8(common::ReadWholeFile(folder + name).value_or(""));
  }
  // Starts the program with `args`, without the display variables, with
  // `extraEnv` added and `prefix` (a command such as setpriv) in front.
  void Start(std::vector<std::string> args, bool keepDisplayUnset = true,
             const std::vector<std::string>& extraEnv = {},
             const std::vector<std::string>& prefix = {}) {
    std::vector<std::string> env = extraEnv;
    for (char** e = environ; *e; ++e) {
      std::string v = *e;
      if (keepDisplayUnset && (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                               v.rfind("QT_QPA_PLATFORM=", 0) == 0)) {
        continue;
      }
      env.push_back(v);
    }
    args.insert(args.begin(), folder + "yagura");
    args.insert(args.begin(), prefix.begin(), prefix.end());
    std::vector<char*> argv, envp;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    for (auto& e : env) envp.push_back(e.data());
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, (folder + "stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, (folder + "stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()), 0);
    posix_spawn_file_actions_destroy(&actions);
  }
  bool WaitForOutput(const std::string& file, const std::string& text, int seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < deadline) {
      std::string out = common::ReadWholeFile(folder + file).value_or("");
      if (out.find(text) != std::string::npos) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
  // The exit status once the program ended by itself, or -1 when it did not
  // end in time.
  int WaitForExit(int seconds = 20) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }
  // The exit status after SIGTERM, or -1 when it did not end in time.
  int TerminateAndWait(int seconds = 20) {
    kill(pid, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return -1;
  }

  std::string folder;
  pid_t pid = -1;
};

TEST_F(HeadlessTest, SigtermStopsTheRunSavesSettingsAndListsAndExitsZero) {
  Write("yagura.ini", "brdurl=http://127.0.0.1:9/board/\r\nworda1=猫\r\n");
  Write("yagura_Dat1001.lst", ";--x\r\n1234567890.dat<5レス>落ちたスレ (5)\r\n;--x\r\n");
  Write("yagura_subject.txt", "left by a crash");
  Start({"--headless"});
  ASSERT_TRUE(WaitForOutput("stdout.txt", "実行待機中...(")) << Read("stderr.txt");
  EXPECT_FALSE(fs::exists(folder + "yagura_subject.txt"));

  EXPECT_EQ(TerminateAndWait(), 0) << Read("stderr.txt");
  std::string ini = Read("yagura.ini");
  EXPECT_NE(ini.find("\r\nbrdurl=http://127.0.0.1:9/board/\r\n"), std::string::npos) << ini;
  EXPECT_NE(ini.find("\r\nworda1=猫\r\n"), std::string::npos);
  EXPECT_EQ(std::count(ini.begin(), ini.end(), '\n'), 44);
  struct stat st {};
  ASSERT_EQ(stat((folder + "yagura.ini").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_NE(Read("yagura_Dat1001.lst").find("\r\n1234567890.dat<5レス>落ちたスレ (5)\r\n"),
            std::string::npos);
  EXPECT_TRUE(fs::exists(folder + "yagura_Thread.lst"));
  EXPECT_TRUE(fs::exists(folder + "yagura_Gumtape.lst"));
  // The stop is logged in the file and mirrored on stdout.
  EXPECT_NE(Read("yagura.log").find("お休み中("), std::string::npos);
  EXPECT_NE(common::ReadWholeFile(folder + "stdout.txt").value_or("").find("お休み中("),
            std::string::npos);  // UTF-8
}

// Settings the start check refuses: the message, then an exit that a service
// manager sees as a failure, with the settings kept as they were.
TEST_F(HeadlessTest, InvalidSettingsExitNonZeroAfterTheMessage) {
  for (const char* url :
       {"ftp://127.0.0.1/board/", "http://127.0.0.1:9/sub/board/", "http://127.0.0.1:9/board"}) {
    SCOPED_TRACE(url);
    Write("yagura.ini", std::string("brdurl=") + url + "\r\n");
    Start({"--headless"});
    EXPECT_EQ(WaitForExit(), 2) << Read("stderr.txt");
    const std::string errors = common::ReadWholeFile(folder + "stderr.txt").value_or("");  // UTF-8
    EXPECT_NE(errors.find("板URLの設定が正しくありません"), std::string::npos) << errors;
    EXPECT_NE(Read("stderr.txt").find("not running: correct the settings"), std::string::npos);
    EXPECT_NE(Read("yagura.ini").find(std::string("\r\nbrdurl=") + url + "\r\n"),
              std::string::npos);
  }
}

TEST_F(HeadlessTest, SecondMonitorOnTheSameFolderRefusesAndTouchesNothing) {
  Write("yagura.ini", "brdurl=http://127.0.0.1:9/board/\r\nworda1=猫\r\n");
  Start({"--headless"});
  ASSERT_TRUE(WaitForOutput("stdout.txt", "実行待機中...(")) << Read("stderr.txt");
  const pid_t first = pid;
  const std::string ini = Read("yagura.ini");

  Start({"--headless"});
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  pid = first;
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_NE(Read("stderr.txt").find("already runs in this folder"), std::string::npos)
      << Read("stderr.txt");
  EXPECT_EQ(Read("yagura.ini"), ini);
  // The first one still holds the lock (the first keeps writing its own log meanwhile).
  EXPECT_EQ(Read("yagura.lock"), std::to_string(first));

  // The lock goes with the process, even when it is killed.
  kill(first, SIGKILL);
  waitpid(first, nullptr, 0);
  pid = -1;
  Start({"--headless"});
  EXPECT_TRUE(WaitForOutput("stdout.txt", "実行待機中...(")) << Read("stderr.txt");
}

// Started from a desktop, the refusal may never be seen on stderr: it waits
// in a box for the user.
TEST_F(HeadlessTest, SecondMonitorWithADisplayAlsoShowsTheRefusalInABox) {
  Write("yagura.ini", "brdurl=http://127.0.0.1:9/board/\r\n");
  Start({"--headless"});
  ASSERT_TRUE(WaitForOutput("stdout.txt", "実行待機中...(")) << Read("stderr.txt");
  const pid_t first = pid;
  Start({}, true, {"DISPLAY=:97", "QT_QPA_PLATFORM=offscreen"});
  EXPECT_TRUE(WaitForOutput("stderr.txt", "already runs in this folder"));
  // The box holds the program until it is answered.
  EXPECT_EQ(WaitForExit(2), -1);
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  pid = first;
  EXPECT_EQ(TerminateAndWait(), 0);
}

TEST_F(HeadlessTest, WithoutADisplayItRunsHeadlessAndSaysSo) {
  Start({});
  // No settings yet: the file is created with the hint, the user is told
  // what to set, and the program ends rather than idling.
  EXPECT_EQ(WaitForExit(), 2) << Read("stderr.txt");
  const std::string errors = Read("stderr.txt");
  EXPECT_NE(errors.find("running headless"), std::string::npos) << errors;
  EXPECT_NE(errors.find("set brdurl="), std::string::npos) << errors;
  EXPECT_NE(Read("yagura.ini").find("\r\nbrdurl="), std::string::npos);
}

// The console as a newcomer reads it: the title and the component report,
// then one line per message, the time first.
TEST_F(HeadlessTest, ConsoleStartsWithTheReportThenOneLinePerMessage) {
  Write("yagura.ini", "brdurl=http://127.0.0.1:9/board/\r\nworda1=猫\r\n");
  Start({"--headless"});
  ASSERT_TRUE(WaitForOutput("stdout.txt", "実行待機中...(")) << Read("stderr.txt");
  EXPECT_EQ(TerminateAndWait(), 0);
  const std::string out = common::ReadWholeFile(folder + "stdout.txt").value_or("");
  EXPECT_EQ(out.rfind("Yagura Version ", 0), 0u) << out;
  EXPECT_NE(out.find("\nSHOIN.EXE ×見つかりません\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n（´ω｀）起動しました。"), std::string::npos) << out;
  EXPECT_EQ(out.find('\r'), std::string::npos);
  const std::regex message(R"(^\d\d:\d\d:\d\d \S.*$)");
  int messages = 0;
  bool waitingSeen = false;
  const size_t afterGreeting = out.find('\n', out.find("起動しました")) + 1;
  std::istringstream lines(out.substr(afterGreeting));
  for (std::string line; std::getline(lines, line);) {
    SCOPED_TRACE(line);
    EXPECT_TRUE(std::regex_match(line, message));  // no date line of its own
    ++messages;
    if (line.find("実行待機中...(") != std::string::npos) waitingSeen = true;
  }
  EXPECT_GE(messages, 2);
  EXPECT_TRUE(waitingSeen);
}

TEST_F(HeadlessTest, HelpPrintsTheSwitchesAndTouchesNothing) {
  for (const char* help : {"--help", "-h"}) {
    Start({help, "/autorun"});
    EXPECT_EQ(WaitForExit(), 0);
    const std::string out = Read("stdout.txt");
    for (const char* item : {"--headless", "--program-folder DIR", "/autorun", "/windowmini",
                             "/windowmode", "/ownermode"}) {
      EXPECT_NE(out.find(item), std::string::npos) << item;
    }
    EXPECT_FALSE(fs::exists(folder + "yagura.ini"));
  }
  Start({"--no-such-switch"});
  EXPECT_EQ(WaitForExit(), 2);
  EXPECT_NE(Read("stderr.txt").find("unknown option --no-such-switch"), std::string::npos);
}

// An installed copy the user cannot write to keeps its state in
// $XDG_DATA_HOME/yagura/, says so, and still finds the converter beside it.
TEST_F(HeadlessTest, UnwritableProgramFolderKeepsStateInTheDataFolder) {
  fs::create_directories(folder + "shoin");
  Write("shoin/shoin", "#!/bin/sh\n");
  const std::string data = folder + "data";
  fs::create_directory(data);
  std::vector<std::string> prefix;
  if (geteuid() == 0) {
    // Mode bits do not stop root: run as nobody, who may write only `data`.
    if (!fs::exists("/usr/bin/setpriv")) GTEST_SKIP() << "root without setpriv";
    prefix = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
    fs::permissions(data, fs::perms::all);
    fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                fs::perms::others_read | fs::perms::others_exec);
  } else {
    fs::permissions(folder, fs::perms::owner_write, fs::perm_options::remove);
  }
  const std::string state = data + "/yagura/";
  fs::create_directories(state);
  if (geteuid() == 0) fs::permissions(state, fs::perms::all);
  ASSERT_TRUE(common::ReplaceFileAtomically(
      state + "yagura.ini", common::Utf8ToCp932("brdurl=http://127.0.0.1:9/board/\r\n")));
  if (geteuid() == 0) fs::permissions(state + "yagura.ini", fs::perms::all);
  // stdout and stderr are opened before the switch of user, by this process.
  Start({"--headless"}, true, {"XDG_DATA_HOME=" + data}, prefix);
  ASSERT_TRUE(WaitForOutput("stdout.txt", "実行待機中...(")) << Read("stderr.txt");
  EXPECT_EQ(TerminateAndWait(), 0);
  fs::permissions(folder, fs::perms::owner_write, fs::perm_options::add);
  const std::string out = ReadUtf8("stdout.txt");
  EXPECT_NE(out.find("SHOIN.EXE ○見つかりました"), std::string::npos) << out;
  EXPECT_NE(out.find("に書き込めないため、設定とログは " + state + " に保存します。"),
            std::string::npos)
      << out;
  EXPECT_TRUE(fs::exists(state + "yagura.lock"));
  EXPECT_TRUE(fs::exists(state + "yagura_Thread.lst"));
  EXPECT_NE(common::ReadWholeFile(state + "yagura.log").value_or("").find("\r\n"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(folder + "yagura.ini"));
  EXPECT_FALSE(fs::exists(folder + "yagura.log"));
}

TEST_F(HeadlessTest, ProgramFolderSwitchChoosesWhereTheStateLives) {
  const std::string state = folder + "elsewhere/state";  // created by the program
  Start({"--headless", "--program-folder", state});
  EXPECT_EQ(WaitForExit(), 2) << Read("stderr.txt");  // no board URL there yet
  EXPECT_TRUE(fs::exists(state + "/yagura.ini"));
  EXPECT_FALSE(fs::exists(folder + "yagura.ini"));
  EXPECT_NE(
      ReadUtf8("stdout.txt").find("設定とログは指定されたフォルダ " + state + "/ に保存します。"),
      std::string::npos)
      << ReadUtf8("stdout.txt");

  // Its own lock: a second monitor on that folder is refused, one on the
  // executable's folder is not.
  Write("elsewhere/state/yagura.ini", "brdurl=http://127.0.0.1:9/board/\r\n");
  Start({"--headless", "--program-folder=" + state});
  ASSERT_TRUE(WaitForOutput("stdout.txt", "実行待機中...(")) << Read("stderr.txt");
  const pid_t first = pid;
  Start({"--headless", "--program-folder", state});
  EXPECT_EQ(WaitForExit(), 1);
  EXPECT_NE(Read("stderr.txt").find("already runs in this folder"), std::string::npos);
  pid = first;
  EXPECT_EQ(TerminateAndWait(), 0);
  EXPECT_EQ(Read("elsewhere/state/yagura.lock"), std::to_string(first));
}

}  // namespace
