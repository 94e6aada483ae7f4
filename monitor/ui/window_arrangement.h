// The two arrangements of the window's controls. The large size shows every
// frame at once; the compact and design sizes keep the board, the run
// buttons and the log in view and put the frames behind tabs.
#pragma once

namespace yagura {

enum class Arrangement { kLarge, kCompact };

// The arrangement for a window of this size: large from the large size on.
Arrangement ArrangementForSize(int width, int height);

// The tab captions of the compact arrangement, in order.
inline constexpr const char* kCompactTabCaptions[] = {"ワードA", "ワードB", "ワードC",
                                                      "アップロード/メール", "リスト"};

}  // namespace yagura
