#include "monitor/publish/child_process.h"

#include "monitor/core/run_state.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

extern char** environ;

namespace yagura {
namespace {

using SteadyClock = std::chrono::steady_clock;

// posix_spawn's attributes and file actions, released on every path.
struct SpawnSetup {
  posix_spawnattr_t attr;
  posix_spawn_file_actions_t actions;
  SpawnSetup() {
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_init(&actions);
  }
  ~SpawnSetup() {
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;
};

}  // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine) {
  std::vector<std::string> args;
  std::string current;
  bool inToken = false;
  bool quoted = false;
  for (char c : commandLine) {
    if (c == '"') {
      quoted = !quoted;
      inToken = true;  // "" is an empty argument
    } else if (!quoted && (c == ' ' || c == '\t')) {
      if (inToken) args.push_back(std::move(current));
      current.clear();
      inToken = false;
    } else {
      current += c;
      inToken = true;
    }
  }
  if (inToken) args.push_back(std::move(current));
  return args;
}

ChildProcess::ChildProcess(ChildProcess&& other) noexcept
    : pid_(std::exchange(other.pid_, -1)),
      running_(std::exchange(other.running_, false)),
      waitStatus_(other.waitStatus_) {}

ChildProcess& ChildProcess::operator=(ChildProcess&& other) noexcept {
  if (this != &other) {
    End(std::chrono::milliseconds(0));
    pid_ = std::exchange(other.pid_, -1);
    running_ = std::exchange(other.running_, false);
    waitStatus_ = other.waitStatus_;
  }
  return *this;
}

ChildProcess::~ChildProcess() { End(std::chrono::milliseconds(0)); }

bool ChildProcess::Start(const std::vector<std::string>& argv, std::string& error) {
  End(std::chrono::milliseconds(0));
  if (argv.empty() || argv[0].empty()) {
    error = "empty command line";
    return false;
  }
  SpawnSetup setup;
  // Hidden: no terminal input, output thrown away.
  posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
  // Its own process group, so that End reaches its children too; default
  // signal handling, whatever the monitor ignores or blocks itself.
  sigset_t all;
  sigset_t none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setpgroup(&setup.attr, 0);
  posix_spawnattr_setsigdefault(&setup.attr, &all);
  posix_spawnattr_setsigmask(&setup.attr, &none);
  posix_spawnattr_setflags(&setup.attr,
                           POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  pid_t pid = -1;
  int rc = posix_spawnp(&pid, args[0], &setup.actions, &setup.attr, args.data(), environ);
  if (rc != 0) {
    error = argv[0] + ": " + std::strerror(rc);
    return false;
  }
  pid_ = pid;
  running_ = true;
  waitStatus_ = 0;
  return true;
}

bool ChildProcess::Running() {
  if (!running_) return false;
  int status = 0;
  pid_t r = ::waitpid(pid_, &status, WNOHANG);
  if (r == pid_ || (r < 0 && errno == ECHILD)) {
    waitStatus_ = status;
    running_ = false;
  }
  return running_;
}

void ChildProcess::End(std::chrono::milliseconds grace) {
  if (!running_) return;
  ::kill(-pid_, SIGTERM);
  const auto deadline = SteadyClock::now() + grace;
  for (;;) {
    // WNOWAIT leaves the child a zombie, so its pid still names the group
    // for the final SIGKILL below.
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
        info.si_pid == pid_) {
      break;
    }
    if (SteadyClock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(-pid_, SIGKILL);
  int status = 0;
  while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
  }
  waitStatus_ = status;
  running_ = false;
}

RunAndWaitResult RunAndWait(Monitor& monitor, std::string_view commandLine,
                            const RunAndWaitOptions& options) {
  RunAndWaitResult result;
  ChildProcess child;
  if (!child.Start(SplitCommandLine(commandLine), result.error)) {
    result.outcome = ChildOutcome::kNotStarted;
    return result;
  }
  const auto deadline = SteadyClock::now() + options.timeLimit;
  while (child.Running()) {
    if (SteadyClock::now() >= deadline) {
      child.End();
      result.outcome = ChildOutcome::kTimedOut;
      return result;
    }
    monitor.PumpOnce();
    if (monitor.form.MENU_FILE.Tag() == kExitRequested) {
      child.End();
      result.outcome = ChildOutcome::kAbandoned;
      return result;
    }
    std::this_thread::sleep_for(options.pollInterval);
  }
  result.outcome = ChildOutcome::kExited;
  return result;
}

}  // namespace yagura
