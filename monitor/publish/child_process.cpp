#include "monitor/publish/child_process.h"

#include "monitor/core/run_state.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>
#include <utility>

namespace yagura {
namespace {

using SteadyClock = std::chrono::steady_clock;

// In the child between fork and exec: only async-signal-safe calls. On
// failure the errno goes to the parent through `report` and the child ends.
[[noreturn]] void ExecChild(char* const* args, pid_t parent, int report) {
  // Dies with the monitor, even when the monitor is killed (SIGKILL): a
  // converter left behind would run on with nobody waiting for it.
  ::prctl(PR_SET_PDEATHSIG, SIGKILL);
  if (::getppid() != parent) ::_exit(127);  // the monitor is already gone
  // Its own process group, so that End reaches its children too; default
  // signal handling, whatever the monitor ignores or blocks itself.
  ::setpgid(0, 0);
  for (int sig = 1; sig < NSIG; ++sig) ::signal(sig, SIG_DFL);
  sigset_t none;
  sigemptyset(&none);
  ::sigprocmask(SIG_SETMASK, &none, nullptr);
  // Hidden: no terminal input, output thrown away.
  int null = ::open("/dev/null", O_RDWR);
  if (null >= 0) {
    ::dup2(null, 0);
    ::dup2(null, 1);
    ::dup2(null, 2);
    if (null > 2) ::close(null);
  }
  ::execvp(args[0], args);
  int error = errno;
  (void)!::write(report, &error, sizeof error);
  ::_exit(127);
}

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
  std::vector<char*> args;
  args.reserve(argv.size() + 1);
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  // A close-on-exec pipe tells whether the exec happened: it closes without
  // a byte on success, and carries the errno when the exec failed.
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) {
    error = argv[0] + ": " + std::strerror(errno);
    return false;
  }
  const pid_t parent = ::getpid();
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(report[0]);
    ExecChild(args.data(), parent, report[1]);
  }
  ::close(report[1]);
  if (pid < 0) {
    error = argv[0] + ": " + std::strerror(errno);
    ::close(report[0]);
    return false;
  }
  ::setpgid(pid, pid);  // also here, so that End finds the group at once
  int childErrno = 0;
  ssize_t n;
  while ((n = ::read(report[0], &childErrno, sizeof childErrno)) < 0 && errno == EINTR) {
  }
  ::close(report[0]);
  if (n > 0) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    error = argv[0] + ": " + std::strerror(childErrno);
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
    // Neither an exit nor a stop of the running cycle waits for a converter.
    if (monitor.exitRequest != ExitRequest::kNone ||
        (monitor.cycleInProgress && StopRequested(monitor))) {
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
