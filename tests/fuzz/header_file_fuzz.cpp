// The response header file reader and the size check on any file contents.
#include "monitor/http/header_file.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string head = fuzz::ScratchFolder() + "/t.dat.head";
  const std::string body = fuzz::ScratchFolder() + "/t.dat";
  fuzz::WriteFile(head, bytes);
  fuzz::WriteFile(body, bytes.substr(0, size / 2));
  yagura::HeaderFields fields = yagura::ReadHeaderFile(head);
  FUZZ_CHECK(!fields.status.empty() && !fields.contentLength.empty());
  yagura::ContentLengthCheck check = yagura::CheckContentLength(head, body);
  FUZZ_CHECK(check.headerFileExists);
  FUZZ_CHECK(check.actual == static_cast<long long>(size / 2));
  // Rewriting replaces the lines that are there and removes the ones asked.
  yagura::WriteHeaderFile(head, "", "", "-", "Content-Length: 5", "");
  yagura::HeaderFields rewritten = yagura::ReadHeaderFile(head);
  FUZZ_CHECK(rewritten.lastModified == "-");
  if (fields.contentLength != "-") FUZZ_CHECK(rewritten.contentLength == "Content-Length: 5");
  return 0;
}
