// Ends a test server started as our child: SIGTERM, then SIGKILL when it has
// not gone after five seconds, and always reaped.
#pragma once

#include <sys/types.h>

namespace yagura::testing {

void StopServerProcess(pid_t pid);

}  // namespace yagura::testing
