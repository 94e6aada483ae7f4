#include "tests/servers/server_process.h"

#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <thread>

namespace yagura::testing {

void StopServerProcess(pid_t pid) {
  using namespace std::chrono_literals;
  if (pid <= 0) return;
  kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (waitpid(pid, nullptr, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
      return;
    }
    std::this_thread::sleep_for(2ms);
  }
}

}  // namespace yagura::testing
