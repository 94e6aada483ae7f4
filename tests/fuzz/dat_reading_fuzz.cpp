// A log file as anyone may have written it: split into lines and fields,
// identified, read into posts and built into pages.
#include "converter/options/options.h"
#include "converter/options/reporter.h"
#include "converter/page/page_writer.h"
#include "converter/reading/board_info.h"
#include "converter/reading/dat_line.h"
#include "converter/reading/identify.h"
#include "converter/reading/thread_reader.h"
#include "tests/fuzz/fuzz_support.h"

using namespace converter;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  size_t pos = 0;
  std::string_view line;
  while (NextLine(bytes, pos, line)) {
    FUZZ_CHECK(pos <= bytes.size());
    DatFields fields = SplitDatLine(line);
    FUZZ_CHECK(fields.count >= 0 && fields.count <= kMaxFields);
    for (int i = 0; i < fields.count; ++i) {
      // Fields view into the line.
      const std::string_view& f = fields.field[i];
      FUZZ_CHECK(f.empty() ||
                 (f.data() >= line.data() && f.data() + f.size() <= line.data() + line.size()));
    }
  }

  Options cmd;
  Thread probe;
  IdentifyHead(std::string(bytes), cmd, probe);

  Thread thread;
  thread.path = fuzz::ScratchFolder() + "/1234567890.dat";
  thread.key = KeyOfFileName("1234567890.dat");
  fuzz::WriteFile(thread.path, bytes);
  if (IdentifyFile(cmd, thread) != Identification::kDat) return 0;
  ProgramBoardFiles none;
  Reporter quiet(false, "");
  FindBoardInfo(cmd, none, thread, quiet);
  if (ReadThread(thread).status != ReadStatus::kOk) return 0;
  FUZZ_CHECK(thread.posts.size() <= bytes.size() + 1);

  page::PageSetup setup;
  setup.folder = fuzz::ScratchFolder() + "/out/";
  setup.baseName = "1234567890";
  page::BuiltPages pages = page::BuildPages(thread, cmd, setup);
  FUZZ_CHECK(!pages.files.empty());
  return 0;
}
