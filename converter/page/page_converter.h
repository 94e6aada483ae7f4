// One thread from read log to written page(s): places the output, applies
// the existing-output rules, builds and writes the pages, reports the result
// line, sets file times (/ct) and moves the source (/mv).
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_set>

#include "converter/options/options.h"
#include "converter/options/reporter.h"
#include "converter/page/page_writer.h"
#include "converter/placement/file_mover.h"
#include "converter/reading/page_hand_over.h"
#include "converter/reading/thread.h"

namespace converter::page {

// Supplies the pop-up script for a page in `pageFolder` (under `outputRoot`).
using HeadScriptSource =
    std::function<HeadScript(const Options&, const std::string& pageFolder, Reporter&)>;

// Builds the page files of a thread (standard mode: BuildPages).
using PagesBuilder = std::function<BuiltPages(const Thread&, const Options&, const PageSetup&)>;

class PageConverter {
 public:
  PageConverter() = default;

  // The pop-up script's hook; without one the head keeps an empty script element.
  void SetHeadScriptSource(HeadScriptSource source) { script_ = std::move(source); }

  // Pages from other templates (skin mode) instead of the standard ones.
  void SetPagesBuilder(PagesBuilder builder) { build_ = std::move(builder); }

  // The page writer the conversion run calls after each thread is read.
  PageOutcome operator()(const Thread& thread, const Options& cmd, Reporter& reporter);

  // Messages at the end of the run (the move summary); call once.
  void Finish(const Options& cmd, Reporter& reporter);

  // A PageWriter callable that shares this converter.
  static PageWriter Writer(std::shared_ptr<PageConverter> converter);

 private:
  std::string OutputBaseName(const Thread& thread, const Options& cmd, const std::string& folder);
  const std::string& RedirectPrefix(const Options& cmd);

  HeadScriptSource script_;
  PagesBuilder build_ = BuildPages;
  std::map<std::string, int> ordinals_;  // conversions per page folder, for %num%
  std::optional<std::string> redirectPrefix_;
  std::optional<bool> inputIsFile_;
  std::optional<std::string> inputRoot_;  // asked once a run
  // Page folders this run has found or created: not asked again for every page.
  std::set<std::string> readyFolders_;
  // Folders this run created, and the pages it wrote into them: a page of
  // such a folder that this run has not written cannot be there yet, so
  // looking for it is left out.
  std::set<std::string> createdFolders_;
  std::unordered_set<std::string> writtenInCreated_;
  std::unique_ptr<placement::FileMover> mover_;
};

// Writes a page file so that it appears only when complete: a temporary
// file in the same folder, renamed over the target.
bool WritePageFile(const std::string& path, const std::string& bytes, bool& created);

// The first line of redirect.txt in `programFolder` (at most 255 characters);
// the file is created holding the default prefix when it does not exist.
std::string ReadRedirectPrefix(const std::string& programFolder);

}  // namespace converter::page
