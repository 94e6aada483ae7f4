// The page writer fed with posts of any bytes and a few switches.
#include "converter/page/page_writer.h"
#include "tests/converter_page/test_thread.h"
#include "tests/fuzz/fuzz_support.h"

using namespace converter;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint8_t flags = data[0];
  const uint8_t every = data[1];
  std::vector<std::string> parts =
      fuzz::SplitAtNul(std::string_view(reinterpret_cast<const char*>(data) + 2, size - 2));

  // The first part is the title, then four fields for each post.
  std::vector<page::testing::PostText> posts;
  for (size_t i = 1; i + 3 < parts.size() + 3; i += 4) {
    page::testing::PostText post;
    post.name = parts[i];
    post.mail = i + 1 < parts.size() ? parts[i + 1] : "";
    post.date = i + 2 < parts.size() ? parts[i + 2] : "";
    post.body = i + 3 < parts.size() ? parts[i + 3] : "";
    posts.push_back(std::move(post));
  }
  if (posts.empty()) posts.emplace_back();
  auto thread =
      page::testing::MakeThread(posts, parts[0], static_cast<BoardKind>((flags >> 5) % 4));
  // Shift_JIS input when asked: the bytes need not be valid in it.
  if (flags & 0x10) thread->inputKanjicode = 1;

  Options cmd;
  cmd.partSize = (flags & 1) ? every % 8 : 0;
  cmd.js.enabled = flags & 2;
  cmd.m.namae = flags & 4;
  cmd.m.link_numlink = flags & 8;
  page::PageSetup setup;
  setup.folder = "/out/";
  setup.baseName = "1234567890";
  page::BuiltPages pages = page::BuildPages(*thread, cmd, setup);
  FUZZ_CHECK(!pages.files.empty());
  FUZZ_CHECK(pages.refs.size() <= posts.size());
  for (const page::PageFile& file : pages.files) FUZZ_CHECK(file.path.rfind("/out/", 0) == 0);
  return 0;
}
