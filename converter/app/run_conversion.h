// The conversion run: walks the inputs, identifies and reads each thread,
// applies the filters and hands every thread to the page writer.
#pragma once

#include "converter/options/options.h"
#include "converter/options/reporter.h"
#include "converter/reading/page_hand_over.h"

namespace converter {

// Runs the conversion of the parsed options; returns the exit code
// (0 something converted, 2 nothing).
int RunConversion(const Options& cmd, Reporter& reporter, const PageWriter& writePage,
                  RunSummary* summary = nullptr, const PagesFinisher& finishPages = {});

}  // namespace converter
