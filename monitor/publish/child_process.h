// Hidden child processes: the monitor starts the converter without a shell,
// with its output thrown away, and waits for it while the window keeps
// pumping events. A child that outlives its time limit is ended, so a hung
// converter cannot hang the monitor.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/core/monitor.h"

namespace yagura {

// Splits a command line into arguments: blanks and tabs separate them, a
// stretch in double quotes may hold blanks, and the quotes themselves are
// dropped ("\"/a b/shoin\" /v" gives "/a b/shoin" and "/v").
std::vector<std::string> SplitCommandLine(std::string_view commandLine);

// A started child, ended and reaped at the latest when the object goes away.
// The child runs in its own process group, so ending it also ends whatever
// it started itself.
class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  ChildProcess(ChildProcess&& other) noexcept;
  ChildProcess& operator=(ChildProcess&& other) noexcept;
  ~ChildProcess();

  // Starts argv[0] (searched in PATH when it holds no "/") with stdin,
  // stdout and stderr on /dev/null. False with `error` told when it could
  // not be started.
  bool Start(const std::vector<std::string>& argv, std::string& error);

  // True while the child has not ended; reaps it when it has.
  bool Running();
  // The raw wait status once the child has ended.
  int WaitStatus() const { return waitStatus_; }
  pid_t Pid() const { return pid_; }

  // Asks the process group to end (SIGTERM), gives it `grace`, then kills it
  // (SIGKILL) and reaps the child.
  void End(std::chrono::milliseconds grace = std::chrono::milliseconds(1000));

 private:
  pid_t pid_ = -1;
  bool running_ = false;
  int waitStatus_ = 0;
};

enum class ChildOutcome {
  kExited,      // ended by itself (its exit code is not our business)
  kTimedOut,    // outlived the limit and was ended
  kNotStarted,  // could not be started
  kAbandoned,   // ended because the program is ending or the run was stopped
};

struct RunAndWaitOptions {
  // A conversion takes well under a second plus the converter's 3-second
  // pause; two minutes is only ever reached by a hung child.
  std::chrono::milliseconds timeLimit = std::chrono::seconds(120);
  // The pause between two looks at the child: short enough for a snappy
  // window, long enough not to burn a core.
  std::chrono::milliseconds pollInterval = std::chrono::milliseconds(25);
};

struct RunAndWaitResult {
  ChildOutcome outcome = ChildOutcome::kNotStarted;
  std::string error;  // why it could not be started
};

// Starts the command line hidden and waits until the child has ended,
// pumping the monitor's events between polls; ends the child at the limit,
// and at once when an exit is requested meanwhile (SIGTERM, the end menu) or
// the run is stopped (the stop button).
RunAndWaitResult RunAndWait(Monitor& monitor, std::string_view commandLine,
                            const RunAndWaitOptions& options = {});

}  // namespace yagura
