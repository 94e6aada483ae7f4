#include "converter/reading/thread.h"

#include "common/encoding.h"

namespace converter {

std::string Thread::DecodeField(std::string_view raw) const {
  switch (inputKanjicode) {
    case 2:
      return common::DecodeToUtf8(raw, common::Charset::kEucJp);
    case 3:
      return common::DecodeToUtf8(raw, common::Charset::kUtf8);
    case 4:
      return common::DecodeToUtf8(raw, common::Charset::kBig5);
    default:
      return common::DecodeToUtf8(raw, common::Charset::kCp932);
  }
}

}  // namespace converter
