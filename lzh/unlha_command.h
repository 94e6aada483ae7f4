// The archiver's command entry, used by the monitor's dat-fall step:
//
//   std::string output;
//   int rc = lzh::Unlha("a -x -a -n /home/me/dat/123.lzh /home/me/dat/ 123.dat ", output);
//   // rc == 0: /home/me/dat/123.lzh now holds 123.dat
//
// Command line: a command, switches, the archive path, an optional base
// folder (a token ending in '/'), then one or more file names relative to the
// base folder (or to the current folder without one). Tokens are separated by
// blanks; a token in double quotes may hold blanks and commas. Trailing
// blanks are fine.
//
// Commands:
//   a  add. The archive is written afresh holding exactly the named files,
//      so an archive already at that path is replaced as a whole (nothing of
//      it is kept). It is written to a temporary file and renamed into place:
//      on any failure the old archive, if any, is left as it was.
// Switches (all optional; others are refused):
//   -x, -x1  store the file names with their folders relative to the base
//            folder (the default); -x0 stores the bare file names.
//   -a, -a0, -a1, -a2  store the file attributes; they are always stored.
//   -n, -n0, -n1, -n2  no progress display; there never is one.
// Paths are taken as the bytes given (UTF-8 file names on this system) and
// are not converted; names are stored as those bytes. Wildcards are not
// expanded: a name stands for exactly one file. Each file becomes one -lh5-
// member with a level-2 header (-lh0- when compression would not make it
// smaller).
#pragma once

#include <string>

namespace lzh {

// Results of Unlha.
enum UnlhaResult : int {
  kUnlhaOk = 0,
  kUnlhaBadCommand = 1,   // empty line, unknown command or switch, unbalanced quote, no file,
                          // or the archive path names one of the files
  kUnlhaFileMissing = 2,  // a named file does not exist or is not a regular file
  kUnlhaReadFailed = 3,
  kUnlhaTooLarge = 4,     // a file of 4 GB or more, or a name too long for a header
  kUnlhaWriteFailed = 5,  // the archive could not be written
};

// Runs `commandLine`. Returns 0 on success, else one of UnlhaResult. A line
// of text per file added, or the reason of the failure, is appended to
// `output`.
int Unlha(const std::string& commandLine, std::string& output);

// The archiver's version and sub-version, each times 100: 100 (1.00) and
// 1 (0.01).
int UnlhaGetVersion();
int UnlhaGetSubVersion();

// A version number times 100 as text with two decimals: 100 gives "1.00".
std::string FormatHundredths(int value);

// The version text: version and sub-version as FormatHundredths gives them,
// joined by a point ("1.00.0.01").
std::string UnlhaVersionText();

}  // namespace lzh
