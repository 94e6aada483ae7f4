// Identifying a file as a thread log: its encoding, its form and its title,
// from the head of the file.
#pragma once

#include <string>
#include <string_view>

#include "converter/options/options.h"
#include "converter/reading/thread.h"

namespace converter {

// Largest head ever read to identify a file.
inline constexpr size_t kMaxHeadBytes = 270000;

// Identifies `head` (the first bytes of a file, as read) for `thread`,
// setting its encoding, form, separator, title and the kinds that the date
// style suggests. `headLineOffset` receives where the deciding line starts.
Identification IdentifyHead(std::string_view head, const Options& cmd, Thread& thread,
                            size_t* decidingLine = nullptr);

// Opens the file of `thread.path`, reads its head and identifies it.
Identification IdentifyFile(const Options& cmd, Thread& thread);

// Head size in bytes that /o asks for.
size_t HeadBytes(const OSwitches& o);

}  // namespace converter
