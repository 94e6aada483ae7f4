// Menu commands of the window that need no window system.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "monitor/core/monitor.h"

namespace yagura {

// The window's three outer sizes in pixels: as designed, compact and large
// (the start size).
struct WindowSize {
  int width;
  int height;
  friend bool operator==(const WindowSize&, const WindowSize&) = default;
};
inline constexpr WindowSize kDesignWindowSize{652, 492};
inline constexpr WindowSize kCompactWindowSize{640, 457};
inline constexpr WindowSize kLargeWindowSize{770, 593};

// The most characters a tray tip shows; a longer tip is cut.
inline constexpr size_t kTrayTipLimit = 127;
// The tip as the tray shows it: at most kTrayTipLimit characters, never
// cutting a character in two.
std::string TrayTipText(std::string_view tip);

// Where Help > home page leads.
inline constexpr const char* kHomePageAddress = "https://yagura.example/";

// Opens a file or an address the way the desktop does; false when the
// desktop cannot.
using ShellOpen = std::function<bool(const std::string& target)>;

// File > Exit: only the exit request; the next tick carries it out.
void MENU_FILE_END_Click(Monitor& monitor);
// Any attempt to close the window: true cancels the closing (and requests
// the exit) until the shutdown sequence has allowed it.
bool Form_QueryUnload(Monitor& monitor);
// The hidden balloon feature: each click switches it, logs and tells.
void MENU_STATUS_Click(Monitor& monitor);
// Window-size modes: from the design size to compact; from any other size,
// compact and large by turns. The window never returns to the design size.
void MENU_HELP_WINDOWMODE_Click(Monitor& monitor);
// Help > ReadMe: opens "ReadMe.txt" beside the program; a critical box when
// it is missing or cannot be opened.
void MENU_HELP_HELP_Click(Monitor& monitor, const ShellOpen& open);
std::string ReadMePath(const Monitor& monitor);
// Help > home page: the address; a critical box when it cannot be opened.
void MENU_HELP_WWW_Click(Monitor& monitor, const ShellOpen& open);

}  // namespace yagura
