// Helpers shared by the fuzz targets: a private scratch folder and input
// split into parts.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

// A folder of this process under TMPDIR, made on first use and removed at exit.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    const char* tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/fuzz_XXXXXX";
    if (!mkdtemp(pattern.data())) abort();
    static std::string removal = "rm -rf '" + pattern + "'";
    atexit([] { (void)!system(removal.c_str()); });
    return pattern;
  }();
  return folder;
}

// Writes `bytes` to `path`; aborts when it cannot (the scratch folder is ours).
inline void WriteFile(const std::string& path, std::string_view bytes) {
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) abort();
  if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) abort();
  fclose(f);
}

// The input cut at every NUL byte.
inline std::vector<std::string> SplitAtNul(std::string_view bytes) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (size_t i = 0; i <= bytes.size(); ++i) {
    if (i == bytes.size() || bytes[i] == '\0') {
      parts.emplace_back(bytes.substr(start, i - start));
      start = i + 1;
    }
  }
  return parts;
}

// Fails loudly, so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                        \
  do {                                                                          \
    if (!(cond)) {                                                              \
      fprintf(stderr, "check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      abort();                                                                  \
    }                                                                           \
  } while (0)

}  // namespace fuzz
