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
  std::string Read(const std::string& name) {
    return common::Cp932ToUtf8(common::ReadWholeFile(folder + name).value_or(""));
  }
  // Starts the program with `args`; `environment` replaces the display variables.
  void Start(std::vector<std::string> args, bool keepDisplayUnset = true) {
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e) {
      std::string v = *e;
      if (keepDisplayUnset && (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 ||
                               v.rfind("QT_QPA_PLATFORM=", 0) == 0)) {
        continue;
      }
      env.push_back(v);
    }
    args.insert(args.begin(), folder + "yagura");
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
  for (const char* url : {"ftp://127.0.0.1/board/", "http://127.0.0.1:9/sub/board/"}) {
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

TEST_F(HeadlessTest, WithoutADisplayItRunsHeadlessAndSaysSo) {
  Start({});
  ASSERT_TRUE(WaitForOutput("stderr.txt", "running headless"));
  // No settings yet: the file is created with the hint, and the user is told.
  ASSERT_TRUE(WaitForOutput("stderr.txt", "set brdurl="));
  EXPECT_TRUE(fs::exists(folder + "yagura.ini"));
  EXPECT_EQ(TerminateAndWait(), 0);
}

}  // namespace
