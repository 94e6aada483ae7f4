// The monitor without a window: the form model alone, the log mirrored on
// stdout, message boxes on stderr, running at once as "/autorun" does.
#pragma once

#include <string>

namespace yagura {

// Runs until the exit request (SIGINT, SIGTERM) has been carried out; 0 then.
int RunHeadless(int argc, char** argv, const std::string& commandLine);

}  // namespace yagura
