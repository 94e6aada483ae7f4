// shoin: converts thread logs of 2ch-style boards into HTML pages.
#include <malloc.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "converter/app/run_conversion.h"
#include "converter/index/index_builder.h"
#include "converter/options/command_line.h"
#include "converter/options/help_pages.h"
#include "converter/options/paths.h"
#include "converter/options/reporter.h"
#include "converter/page/page_converter.h"
#include "converter/program_exit.h"
#include "converter/script/script_placement.h"
#include "converter/skin/skin_page.h"

namespace {

using namespace converter;

std::string CurrentFolderForScripts() {
  std::error_code ec;
  std::string folder = std::filesystem::current_path(ec).string();
  return folder.empty() || folder.back() == '/' ? folder : folder + "/";
}

// ===== The page writer joins the program here, and only here. =====
// One converter for the run: it counts the moved files for the closing message.
std::shared_ptr<page::PageConverter> ThePageConverter() {
  static auto converter = [] {
    auto made = std::make_shared<page::PageConverter>();
    // The pop-up script: one placement per run, from the current folder.
    auto placement = std::make_shared<script::ScriptPlacement>(CurrentFolderForScripts());
    made->SetHeadScriptSource(
        [placement](const Options& cmd, const std::string& folder, Reporter& reporter) {
          script::PlacedScript placed = placement->ForPage(cmd, folder, reporter);
          return page::HeadScript{placed.embedded, placed.fileReference};
        });
    return made;
  }();
  return converter;
}
PageWriter MakePageWriter() { return page::PageConverter::Writer(ThePageConverter()); }
// ===================================================================

// ===== The index joins here: an entry per converted thread, the pages at the end. =====
PageWriter WithIndexEntries(PageWriter writePage, index::IndexBuilder& builder) {
  return [writePage, &builder](const Thread& thread, const Options& cmd, Reporter& reporter) {
    PageOutcome outcome = writePage(thread, cmd, reporter);
    if (outcome.converted) builder.Add(outcome.indexRecord, reporter);
    return outcome;
  };
}
// =======================================================================================

void Pause(int seconds) { std::this_thread::sleep_for(std::chrono::seconds(seconds)); }

int Run(int argc, char** argv, Options& cmd, RunSummary& summary) {
  std::vector<std::string> args(argv + 1, argv + argc);
  ParseResult parsed = ParseCommandLine(args, SystemPathContext(), cmd);
  const bool logging = cmd.l || cmd.v != ReportMode::kNone;
  Reporter reporter(!cmd.l && !cmd.st, logging ? cmd.programFolder + "shoin_log.txt" : "");
  if (!parsed.screen.empty()) reporter.SayOnConsole(parsed.screen);
  reporter.Say(parsed.messages);
  if (!parsed.run) return parsed.exitCode;
  if (cmd.mode == Mode::kSkin) {
    // The skin is read once, before the first page; without its post template nothing is written.
    auto skin = skin::LoadSkin(cmd, reporter);
    if (!skin) return 1;
    ThePageConverter()->SetPagesBuilder([skin = std::move(*skin)](const Thread& thread,
                                                                  const Options& options,
                                                                  const page::PageSetup& setup) {
      return skin::BuildSkinPages(thread, options, setup, skin);
    });
  }
  index::IndexBuilder builder;
  switch (builder.Start(cmd, reporter)) {
    case index::IndexBuilder::StartResult::kFatal:
      reporter.Say("強制終了します。(701)\r\n");
      Pause(5);
      return 6;
    case index::IndexBuilder::StartResult::kRefused:
      // No page may link to an index this run does not write.
      cmd.i.enabled = false;
      break;
    case index::IndexBuilder::StartResult::kReady:
      break;
  }
  return RunConversion(cmd, reporter, WithIndexEntries(MakePageWriter(), builder), &summary,
                       [&builder](const Options& options, Reporter& out) {
                         ThePageConverter()->Finish(options, out);
                         builder.Finish(options, out);
                       });
}

}  // namespace

int main(int argc, char** argv) {
  // Every log and page is a buffer of a few hundred KB, freed after each
  // file. Kept on the heap instead of fresh mappings, the next file reuses
  // pages already faulted in rather than asking the kernel again.
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 128 << 20);
  mallopt(M_TOP_PAD, 4 << 20);
  Options cmd;
  cmd.programFolder = ProgramFolder();
  RunSummary summary;
  int code;
  try {
    code = Run(argc, argv, cmd, summary);
  } catch (const std::bad_alloc&) {
    // Only real memory exhaustion ends the run this way: buffers grow as needed.
    Reporter reporter(true, "");
    reporter.Say("メモリが不足しています。\r\n強制終了します。(121)\r\n");
    WriteInidir(cmd, summary, false);
    Pause(5);
    return 6;
  }
  WriteInidir(cmd, summary, code == 0);
  if (cmd.v != ReportMode::kNone || summary.pauseBeforeExit) Pause(3);
  return code;
}
