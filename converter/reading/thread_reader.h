// Reading a whole identified log into its thread record and splitting its
// lines into posts.
#pragma once

#include <string>

#include "converter/options/options.h"
#include "converter/reading/thread.h"

namespace converter {

// A field longer than this makes a broken post.
inline constexpr size_t kMaxFieldBytes = 150000;

enum class ReadStatus { kOk, kNotOpenable, kReadError, kEmpty };

struct ReadResult {
  ReadStatus status = ReadStatus::kOk;
  int error = 0;  // errno of a failed open or read
};

// Opens the file of `thread.path` unless it is open; false (errno set) when
// it cannot be opened.
bool OpenLog(Thread& thread);

// The log's modification and creation times and its size, from the open
// file when there is one. A file system that keeps no birth time gives the
// status change time.
void StatLog(Thread& thread);

// True when a read that gave fewer bytes than asked for, having brought the
// log to `filled` bytes, met its end: a regular file that has given all the
// bytes it had when it was opened (a pipe gives what it holds at the time,
// and a log that shrank is read until read() says it ended).
bool ShortReadEnds(const Thread& thread, size_t filled);

// Reads the file of `thread.path` into `thread.buffer` and fills the posts,
// counts, sizes and post times; goes on after the head that identification
// left in the buffer, and closes the file. The thread's form and encoding
// come from identification.
ReadResult ReadThread(Thread& thread);

// Splits `thread.buffer` into posts, from the first line that parses.
void SplitPosts(Thread& thread);

// Thread key of a file name: 9 digits beginning with 9 (not 924), or 10
// digits beginning with 1, before the first dot; else 0.
std::uint64_t KeyOfFileName(const std::string& fileName);

// A name a board gives its logs (what /z takes).
bool IsLogFileName(const std::string& fileName);

}  // namespace converter
