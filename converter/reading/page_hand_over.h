// What the conversion run hands the page side for every thread it read, and
// what a run leaves for the program's exit.
#pragma once

#include <functional>
#include <string>

#include "converter/options/options.h"
#include "converter/options/reporter.h"
#include "converter/reading/thread.h"

namespace converter {

// What the page writer did with one thread.
struct PageOutcome {
  bool converted = false;      // a page was written
  long long bytesWritten = 0;  // over all files of the thread
  std::string outputPath;      // the (first) page written
  std::string indexRecord;     // the thread's index entry line when an index is asked for
};

// Writes the page(s) of one read thread. It names and opens the output,
// prints the result line and its own messages through the reporter.
using PageWriter = std::function<PageOutcome(const Thread&, const Options&, Reporter&)>;

// Ends the page side of a run (the move report); called before the closing messages.
using PagesFinisher = std::function<void(const Options&, Reporter&)>;

// What a run leaves for the program's exit.
struct RunSummary {
  int converted = 0;
  int moved = 0;
  long long bytesRead = 0;
  long long bytesWritten = 0;
  std::string lastConvertedInput;  // for /vf
  bool pauseBeforeExit = false;    // a refusal that waits before the exit
};

}  // namespace converter
