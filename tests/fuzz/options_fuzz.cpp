// The option parser on any command line (arguments cut at NUL bytes).
#include "converter/options/command_line.h"
#include "tests/fuzz/fuzz_support.h"

using namespace converter;

namespace {

// The parser makes a missing output folder; paths that could lead out of the
// scratch folder are left out so that a run never makes folders elsewhere.
bool StaysInScratch(const std::string& arg) {
  if (LooksLikeOption(arg)) return arg.find("..") == std::string::npos;
  std::string_view a(arg);
  while (!a.empty() && (a.front() == '"' || a.front() == ' ')) a.remove_prefix(1);
  return a.find("..") == std::string_view::npos && a.find('%') == std::string_view::npos &&
         (a.empty() || (a.front() != '/' && a.front() != '~' && a.front() != '\\'));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args =
      fuzz::SplitAtNul(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const std::string& arg : args) {
    if (!StaysInScratch(arg)) return 0;
  }
  const std::string& scratch = fuzz::ScratchFolder();
  PathContext context{scratch, scratch + "/desktop", scratch + "/documents"};
  Options cmd;
  cmd.programFolder = scratch + "/";
  ParseResult result = ParseCommandLine(args, context, cmd);
  if (result.run) {
    FUZZ_CHECK(cmd.outputNull || cmd.outputFolder.empty() || cmd.outputFolder.back() == '/');
  }
  ModeOfArguments(args);
  return 0;
}
