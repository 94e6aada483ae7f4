// The monitor with its window.
#pragma once

#include <string>

namespace yagura {

int RunWindow(int argc, char** argv, const std::string& commandLine);

}  // namespace yagura
