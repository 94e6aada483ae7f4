// The dat-fall processing: a thread that dropped off the board gets an LZH
// archive and an HTML page next to its log, an announcement in the Twitter
// queue and an upload, as its word pair asks. Nothing here is fatal: every
// sub-step succeeds, gives up after its attempts or is skipped, and the next
// one runs.
//
// Wiring, once at start-up:
//   monitor.processDroppedThread = MakeProcessDroppedThread(monitor);
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "monitor/core/monitor.h"
#include "monitor/publish/child_process.h"

namespace yagura {

inline constexpr int kCompressionAttempts = 5;
inline constexpr int kConversionAttempts = 5;
// The converter's switches for a published page.
inline constexpr const char* kConverterOptions = "/js=80F /m=E2058000 /o=E01B1E /v";

// The archiver library's command entry and its version report.
struct Archiver {
  // 0 on success; `output` receives the archiver's own report.
  std::function<int(const std::string& commandLine, std::string& output)> unlha;
  // The version text; "" when the archiver cannot be used.
  std::function<std::string()> versionText;
};

// The uploads of a thread's archive and page: (title, dat path) -> the page
// upload's result.
using UploadThreadFiles =
    std::function<bool(Monitor& monitor, const std::string& title, const std::string& datPath)>;

// What the step works with; MakeProcessDroppedThread supplies the real ones.
struct DatFallTools {
  Archiver archiver;
  std::string converterPath;  // the converter program ("<program folder>shoin/shoin")
  RunAndWaitOptions converterWait;
  UploadThreadFiles upload;  // empty until an uploader is plugged in
};

// The names derived from a dat path ("/p/dat/123.dat").
struct DatFallNames {
  std::string datFileName;  // "123.dat"
  std::string datFolder;    // "/p/dat" (no trailing "/")
  std::string archivePath;  // "/p/dat/123.lzh"
  std::string pagePath;     // "/p/dat/123.html"
};
DatFallNames DeriveDatFallNames(std::string_view datPath);

// The archiver from lzh/ (its version text is never empty).
Archiver BuiltInArchiver();

// The archiver's version text; "" when there is none or it fails.
std::string ArchiverVersion(const Archiver& archiver);

// "a -x -a -n <archive> <base folder>/ <file name> ": each path in double
// quotes when it holds a comma or a blank; the base folder loses trailing
// blanks and ends in "/".
std::string ArchiverCommandLine(std::string_view archivePath, std::string_view baseFolder,
                                std::string_view fileName);

// Deletes an existing archive first when asked, then runs the archiver on
// the file; true when the archiver answered 0.
bool CompressToLzh(const Archiver& archiver, const std::string& archivePath,
                   std::string_view baseFolder, std::string_view fileName, bool deleteExisting);

// "\"<converter>\" \"<dat path>\" \"<dat folder>\" /js=80F /m=E2058000 /o=E01B1E /v".
std::string ConverterCommandLine(std::string_view converterPath, std::string_view datPath,
                                 std::string_view datFolder);

// The first word pair (0 = A, 1 = B, 2 = C) whose two words are both set
// and both occur in the title (case-sensitive); when none does, the first
// whose words the title search's folded matching finds; -1 otherwise.
int MatchingWordPair(const Form& form, std::string_view title);

// "dat落ち <title>(<posts>レス) #2ch" CR LF "<thread page URL>": the tag
// goes before every CR LF, so only the first line carries it.
std::string DatFallAnnouncement(std::string_view title, size_t posts, std::string_view pageUrl);

// The whole step for one thread. True only when the page upload succeeded;
// without an upload, the outcome of the last compression call.
bool ProcessDroppedThread(Monitor& monitor, const std::string& title, const std::string& datPath,
                          const DatFallTools& tools);

// The step bound to the built-in archiver and the converter under the
// program folder, ready for Monitor::processDroppedThread.
std::function<bool(const std::string& title, const std::string& datPath)> MakeProcessDroppedThread(
    Monitor& monitor, UploadThreadFiles upload = {});

}  // namespace yagura
