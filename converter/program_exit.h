// What the program does on its way out: inidir.txt in its folder and the
// pause of the report modes.
#pragma once

#include <string>

#include "converter/options/options.h"
#include "converter/reading/page_hand_over.h"

namespace converter {

// The folder /vf reports: the folder of the last converted input, or the
// one above the browser's log folder it lies in.
std::string ReportedFolderOfInput(const std::string& inputPath);

// Writes inidir.txt: the output folder and CR LF after a successful run,
// else nothing.
void WriteInidir(const Options& cmd, const RunSummary& summary, bool success);

}  // namespace converter
