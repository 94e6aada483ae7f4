#include "converter/reading/thread_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "converter/reading/dat_line.h"
#include "converter/reading/date_reader.h"

namespace converter {
namespace {

// Digits of a file name before its first dot; "" when anything else is there.
std::string_view LeadingDigits(const std::string& fileName) {
  std::string_view stem(fileName);
  stem = stem.substr(0, stem.find('.'));
  for (char c : stem) {
    if (c < '0' || c > '9') return {};
  }
  return stem;
}

// The old comma form writes a comma in a field as "＠｀" and "&" as "&amp"
// without ';'.
std::string_view Unescape(std::string_view field, Thread& thread) {
  static const std::string kCommaSjis = "\x81\x97\x81\x4d";  // ＠｀ in Shift_JIS
  if (field.find(kCommaSjis) == std::string_view::npos &&
      field.find("&amp") == std::string_view::npos) {
    return field;
  }
  std::string out;
  out.reserve(field.size());
  for (size_t k = 0; k < field.size();) {
    if (field.compare(k, kCommaSjis.size(), kCommaSjis) == 0) {
      out += ',';
      k += kCommaSjis.size();
    } else if (field.compare(k, 4, "&amp") == 0 && (k + 4 >= field.size() || field[k + 4] != ';')) {
      out += '&';
      k += 4;
    } else {
      out += field[k++];
    }
  }
  thread.unescaped.push_back(std::move(out));
  return thread.unescaped.back();
}

bool ContainsSage(std::string_view mail) { return mail.find("sage") != std::string_view::npos; }

}  // namespace

std::uint64_t KeyOfFileName(const std::string& fileName) {
  std::string_view digits = LeadingDigits(fileName);
  bool nine = digits.size() == 9 && digits[0] == '9' && digits.substr(0, 3) != "924";
  bool ten = digits.size() == 10 && digits[0] == '1';
  if (!nine && !ten) return 0;
  return std::stoull(std::string(digits));
}

bool IsLogFileName(const std::string& fileName) {
  std::string_view digits = LeadingDigits(fileName);
  if (digits.size() == 9) return digits[0] == '9';
  if (digits.size() == 10) return digits[0] == '1' || digits.substr(0, 3) == "924";
  return false;
}

bool OpenLog(Thread& thread) {
  if (thread.fd >= 0) return true;
  thread.fd = ::open(thread.path.c_str(), O_RDONLY | O_CLOEXEC);
  thread.headBytes = 0;
  thread.headAtEnd = false;
  return thread.fd >= 0;
}

void StatLog(Thread& thread) {
  struct statx sx;
  constexpr unsigned kWanted = STATX_TYPE | STATX_MTIME | STATX_BTIME | STATX_CTIME | STATX_SIZE;
  const bool ok = thread.fd >= 0 ? statx(thread.fd, "", AT_EMPTY_PATH, kWanted, &sx) == 0
                                 : statx(AT_FDCWD, thread.path.c_str(), 0, kWanted, &sx) == 0;
  if (!ok) return;
  thread.statted = true;
  thread.regularFile = (sx.stx_mask & STATX_TYPE) && S_ISREG(sx.stx_mode);
  thread.modifiedTime = sx.stx_mtime.tv_sec;
  thread.createdTime = (sx.stx_mask & STATX_BTIME) ? sx.stx_btime.tv_sec : sx.stx_ctime.tv_sec;
  thread.expectedSize = static_cast<size_t>(sx.stx_size);
}

bool ShortReadEnds(const Thread& thread, size_t filled) {
  return thread.regularFile && filled >= thread.expectedSize;
}

ReadResult ReadThread(Thread& thread) {
  ReadResult result;
  if (!OpenLog(thread)) {
    result.status = ReadStatus::kNotOpenable;
    result.error = errno;
    return result;
  }
  if (!thread.statted) StatLog(thread);
  // The head identification read stays where it is; the buffer grows with
  // the file, so no log is too long to read.
  // Room for one byte more than the file had, so that a log read whole ends
  // in a short read.
  size_t filled = std::min(thread.headBytes, thread.buffer.size());
  thread.buffer.SetSize(filled);
  thread.buffer.Reserve(std::max(thread.expectedSize + 1, filled + 1));
  while (!thread.headAtEnd) {
    if (filled == thread.buffer.capacity()) thread.buffer.Reserve(filled * 2 + 4096);
    const size_t room = thread.buffer.capacity() - filled;
    ssize_t got = ::read(thread.fd, thread.buffer.data() + filled, room);
    if (got < 0) {
      if (errno == EINTR) continue;
      result.status = ReadStatus::kReadError;
      result.error = errno;
      thread.CloseFile();
      thread.buffer.clear();
      return result;
    }
    if (got == 0) break;
    filled += static_cast<size_t>(got);
    thread.buffer.SetSize(filled);
    if (static_cast<size_t>(got) < room && ShortReadEnds(thread, filled)) break;
  }
  thread.CloseFile();
  // NUL bytes become blanks, as identification reads them: none reaches a page.
  char* const end = thread.buffer.data() + filled;
  for (char* p = thread.buffer.data();
       (p = static_cast<char*>(std::memchr(p, '\0', static_cast<size_t>(end - p))));) {
    *p++ = ' ';
  }
  thread.fileSize = static_cast<long long>(thread.buffer.size());
  if (thread.buffer.empty()) {
    result.status = ReadStatus::kEmpty;
    return result;
  }
  SplitPosts(thread);
  return result;
}

void SplitPosts(Thread& thread) {
  const std::string_view text(thread.buffer);
  thread.posts.clear();
  thread.unescaped.clear();
  thread.firstPostTime = thread.lastPostTime = thread.lastNonSageTime = 0;
  thread.dateNotes = {};
  const bool numbered = thread.form == DatForm::kNumbered;
  const bool oldForm = thread.separator == FieldSeparator::kOldComma;
  const int keyYear = YearOfKey(thread.key);

  // Lines before the one that decided the form (a leading blank line, the
  // header of an old archive) are not posts.
  size_t pos = thread.firstLineOffset < text.size() ? thread.firstLineOffset : 0;
  // A UTF-8 log may begin with a byte-order mark, which is not part of the first name.
  if (pos == 0 && thread.inputKanjicode == 3 && text.substr(0, 3) == "\xEF\xBB\xBF") pos = 3;
  std::string_view line;

  size_t crBytes = 0;
  for (const char* p = text.data();
       (p = static_cast<const char*>(std::memchr(p, '\r', text.data() + text.size() - p))); ++p) {
    ++crBytes;
  }
  long long kb = (static_cast<long long>(text.size()) - static_cast<long long>(crBytes)) / 1024;
  thread.sizeKb = static_cast<int>(kb < 1 ? 1 : kb);

  size_t lineFeeds = 0;
  int running = 0;
  // Fields kept from line to line: splitting writes only those a line has.
  DatFields fields;
  DayMemo dayMemo;
  CurrentFormLines currentForm(text, pos);
  auto nextLine = [&] {
    if (!oldForm) {
      if (!currentForm.Next(line, fields)) return false;
      pos = currentForm.pos();
      return true;
    }
    if (!NextLine(text, pos, line)) return false;
    SplitOldForm(line, fields);
    return true;
  };
  while (nextLine()) {
    if (pos <= text.size() && text[pos - 1] == '\n') ++lineFeeds;
    if (line.empty() && pos >= text.size()) break;  // nothing after the last LF
    int base = 0;
    int number = running + 1;
    if (numbered && fields.count > 0) {
      int logged = 0;
      for (char c : fields.field[0]) {
        if (c < '0' || c > '9') break;
        logged = logged * 10 + (c - '0');
        if (logged > 100000000) break;
      }
      if (logged > number) number = logged;  // deleted posts leave gaps in the numbers
      base = 1;
    }
    running = number;
    int count = fields.count - base;
    // No field is longer than its line.
    bool tooLong = false;
    if (line.size() > kMaxFieldBytes) {
      for (int k = 0; k < fields.count; ++k) tooLong |= fields.field[k].size() > kMaxFieldBytes;
    }
    if (count < 3 || tooLong) {
      Post& broken = thread.posts.emplace_back();
      broken.number = number;
      broken.broken = true;
      continue;
    }
    auto field = [&](int k) -> std::string_view {
      if (base + k >= fields.count) return {};
      std::string_view value = fields.field[base + k];
      return oldForm ? Unescape(value, thread) : value;
    };
    const std::string_view name = field(0), mail = field(1), date = field(2), body = field(3),
                           title = field(4), sixth = field(5);
    const DateReading reading = ReadPostDate(date, thread.inputKanjicode, keyYear, &dayMemo);
    const bool sage = ContainsSage(mail);
    std::string_view id = numbered ? sixth : std::string_view();
    if (id.empty()) id = reading.id;
    thread.dateNotes.hasId |= reading.notes.hasId;
    thread.dateNotes.hasBracket |= reading.notes.hasBracket;
    thread.dateNotes.hasIp |= reading.notes.hasIp;
    if (reading.time) {
      if (thread.firstPostTime == 0) thread.firstPostTime = reading.time;
      if (reading.time > thread.lastPostTime) thread.lastPostTime = reading.time;
      if (!sage && reading.time > thread.lastNonSageTime) thread.lastNonSageTime = reading.time;
    }
    // Every member given: the post is written once, not cleared first.
    thread.posts.push_back(Post{.number = number,
                                .name = name,
                                .mail = mail,
                                .date = date,
                                .body = body,
                                .title = title,
                                .id = id,
                                .language = numbered ? std::string_view() : sixth,  // World 2ch's
                                .notation = reading.notation,
                                .time = reading.time,
                                .sage = sage,
                                .broken = false});
  }
  thread.postCount = static_cast<int>(lineFeeds);
  if (!thread.posts.empty()) thread.titleRaw = thread.posts.front().title;
  // The head that identified the log may have ended inside a long first line.
  if (thread.title.empty() && !thread.titleRaw.empty()) {
    thread.title = thread.DecodeField(thread.titleRaw);
    while (!thread.title.empty() && (thread.title.back() == '\r' || thread.title.back() == '\n'))
      thread.title.pop_back();
  }
  // A last line without its LF is still a post.
  if (thread.posts.size() > static_cast<size_t>(thread.postCount)) {
    thread.postCount = static_cast<int>(thread.posts.size());
  }
}

}  // namespace converter
