// The chunked decoder on any body a server might send.
#include "monitor/http/chunked_decoder.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view body(reinterpret_cast<const char*>(data), size);
  std::string decoded = yagura::DecodeChunked(body);
  // The data comes out of the body: it can never be longer.
  FUZZ_CHECK(decoded.size() <= body.size());
  return 0;
}
