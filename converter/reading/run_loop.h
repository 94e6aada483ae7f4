// The conversion run: walks the inputs, identifies and reads each thread,
// applies the filters and hands every thread to the page writer.
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
};

// Writes the page(s) of one read thread. It names and opens the output,
// prints the result line and its own messages through the reporter.
using PageWriter = std::function<PageOutcome(const Thread&, const Options&, Reporter&)>;

// Runs the conversion of the parsed options; returns the exit code
// (0 something converted, 2 nothing, 6 fatal).
int RunConversion(const Options& cmd, Reporter& reporter, const PageWriter& writePage);

}  // namespace converter
