#include "monitor/ui/window_arrangement.h"

#include "monitor/core/window_commands.h"

namespace yagura {

Arrangement ArrangementForSize(int width, int height) {
  return width >= kLargeWindowSize.width && height >= kLargeWindowSize.height
             ? Arrangement::kLarge
             : Arrangement::kCompact;
}

}  // namespace yagura
