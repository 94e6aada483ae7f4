#include "converter/options/options.h"

namespace converter {

const char* KanjicodeName(int kanjicode) {
  switch (kanjicode) {
    case 1:
      return "Shift_JIS";
    case 2:
      return "EUC-JP";
    case 3:
      return "UTF-8";
    case 4:
      return "big5";
    default:
      return "";
  }
}

}  // namespace converter
