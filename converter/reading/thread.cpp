#include "converter/reading/thread.h"

#include <unistd.h>

#include "common/encoding.h"
#include "converter/reading/kanjicode.h"

namespace converter {

void Thread::CloseFile() {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

std::string Thread::DecodeField(std::string_view raw) const {
  return common::DecodeToUtf8(raw, CharsetOf(inputKanjicode));
}

std::string Thread::ToOutputEncoding(std::string_view raw) const {
  if (CharsetOf(inputKanjicode) == CharsetOf(outputKanjicode)) return std::string(raw);
  // A character the output encoding lacks becomes a numeric reference, so nothing is lost on the
  // page.
  return EncodeWithReferences(DecodeField(raw), CharsetOf(outputKanjicode));
}

}  // namespace converter
