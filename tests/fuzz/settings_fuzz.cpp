// The settings file reader on any file contents: good lines applied, bad
// ones skipped, and the settings saved again read back the same.
#include "common/file_io.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/settings_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  yagura::Monitor monitor;
  monitor.paths.folder = fuzz::ScratchFolder() + "/";
  monitor.paths.exeName = "yagura";
  yagura::InitializeWindow(monitor);
  fuzz::WriteFile(monitor.paths.File(".ini"), bytes);
  std::vector<std::string> problems;
  yagura::LoadSettings(monitor, &problems);
  if (!yagura::SaveSettings(monitor)) return 0;
  // What was saved loads without a problem and saves to the same bytes.
  auto first = common::ReadWholeFile(monitor.paths.File(".ini"));
  FUZZ_CHECK(first.has_value());
  yagura::Monitor again;
  again.paths = monitor.paths;
  yagura::InitializeWindow(again);
  std::vector<std::string> reloadProblems;
  bool reloaded = yagura::LoadSettings(again, &reloadProblems);
  for (const std::string& p : reloadProblems) fprintf(stderr, "%s\n", p.c_str());
  FUZZ_CHECK(reloaded);
  FUZZ_CHECK(yagura::SaveSettings(again));
  FUZZ_CHECK(common::ReadWholeFile(again.paths.File(".ini")) == first);
  return 0;
}
