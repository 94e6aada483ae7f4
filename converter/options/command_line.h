// Reading the command line into the option record: the mode pre-pass, the
// option loop, and the resolution of the input and output folders.
#pragma once

#include <string>
#include <vector>

#include "converter/options/options.h"

namespace converter {

// Where relative paths and the %desktop% / %personal% words lead.
struct PathContext {
  std::string currentFolder;  // absolute, without a trailing '/'
  std::string desktop;
  std::string documents;
};

// The context of this process: its current folder and the XDG folders.
PathContext SystemPathContext();

struct ParseResult {
  bool run = false;      // go on and convert
  int exitCode = 0;      // when not run
  std::string screen;    // usage or help screen (console)
  std::string messages;  // warnings and errors, worded as the program prints them
};

// Parses `args` (without the program name) into `cmd`, whose programFolder
// the caller has set.
ParseResult ParseCommandLine(const std::vector<std::string>& args, const PathContext& context,
                             Options& cmd);

// True when the argument has the form of an option.
bool LooksLikeOption(const std::string& arg);

// Mode chosen by the pre-pass: an argument "/p" or "-p" with a fourth character.
Mode ModeOfArguments(const std::vector<std::string>& args);

}  // namespace converter
