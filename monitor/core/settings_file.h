// The settings file (exe + ".ini"): the controls that hold the settings,
// written as 44 key=value lines in CP932 with CR LF, three passwords
// scrambled by a reversible character shift.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "monitor/core/monitor.h"

namespace yagura {

// Writes the 44 lines atomically (mode 0600: the file holds passwords).
// Writes nothing while settingsNotWritable is set. False when the file cannot
// be written; `problems` (optional) then says why.
bool SaveSettings(Monitor& monitor, std::vector<std::string>* problems = nullptr);

// Copies the file into the controls. Every good line is applied and a bad
// line is skipped, so one bad line no longer loses the settings after it.
// False when the file cannot be read or any line was bad; `problems`
// (optional) gets one text per bad line ("line 7: ...").
bool LoadSettings(Monitor& monitor, std::vector<std::string>* problems = nullptr);

// "enc" shifts every character's CP932 code down by 10, "dec" up by 10 (mode
// compared case-insensitively). Any other mode gives "". A character whose
// shifted code is no character gives "" as well; use the checked form to
// tell that apart.
std::string ScrambleText(std::string_view mode, std::string_view text);
std::optional<std::string> ScrambleTextChecked(std::string_view mode, std::string_view text);
// The same shift on CP932 bytes, as the file stores them (the shifted bytes
// of a Japanese password need not be valid text). nullopt when a shifted
// code is no character.
std::optional<std::string> ScrambleBytes(std::string_view mode, std::string_view cp932);

// The interval box's entry index as the file writes it (" 1", "-1").
std::string IntervalIndexText(int index);

}  // namespace yagura
