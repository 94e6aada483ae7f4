#include "converter/reading/identify.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "common/encoding.h"
#include "converter/reading/dat_line.h"
#include "converter/reading/date_reader.h"
#include "converter/reading/encoding_score.h"
#include "converter/reading/kanjicode.h"
#include "converter/reading/thread_reader.h"

namespace converter {
namespace {

// The title field: fifth of the plain form, sixth of the numbered form.
std::string_view TitleField(const DatFields& fields, DatForm form) {
  int index = form == DatForm::kNumbered ? 5 : 4;
  if (fields.count > index) return fields.field[index];
  return {};
}

// The title field of the whole line that begins at `offset` of the file.
std::string TitleOfLineAt(const Thread& thread, size_t offset) {
  std::string line;
  char chunk[8192];
  for (bool done = false; !done;) {
    ssize_t got = ::pread(thread.fd, chunk, sizeof chunk, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    offset += static_cast<size_t>(got);
    for (ssize_t k = 0; k < got; ++k) {
      if (chunk[k] == '\n') {
        done = true;
        break;
      }
      line += chunk[k] == '\0' ? ' ' : chunk[k];
    }
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  bool oldForm = false;
  DatFields fields = SplitDatLine(line, &oldForm);
  std::string_view title = TitleField(fields, thread.form);
  return title.empty() ? std::string()
                       : common::DecodeToUtf8(title, CharsetOf(thread.inputKanjicode));
}

}  // namespace

size_t HeadBytes(const OSwitches& o) {
  size_t bytes = o.headKb == 0 ? 30720 : static_cast<size_t>(o.headKb) * 1024;
  return std::min(bytes, kMaxHeadBytes);
}

Identification IdentifyHead(std::string_view head, const Options& cmd, Thread& thread,
                            size_t* decidingLine) {
  if (head.empty()) return Identification::kEmpty;
  const OSwitches& o = cmd.o;
  if (o.ignoreLogCheck) {
    // Everything is a 2ch dat in the current form.
    thread.inputKanjicode = o.inputKanjicode ? o.inputKanjicode : 1;
    thread.form = DatForm::kPlain;
    thread.separator = FieldSeparator::kCurrent;
    size_t pos = 0;
    std::string_view line;
    NextLine(head, pos, line);
    DatFields fields = SplitCurrentForm(line);
    thread.title = TitleField(fields, DatForm::kPlain).empty()
                       ? std::string()
                       : common::DecodeToUtf8(TitleField(fields, DatForm::kPlain),
                                              CharsetOf(thread.inputKanjicode));
    if (decidingLine) *decidingLine = 0;
    return Identification::kDat;
  }

  // The encoding is judged before NUL bytes become blanks: it never looks past the first NUL.
  if (o.inputKanjicode) {
    thread.inputKanjicode = o.inputKanjicode;
  } else if (cmd.forcedKind == '8') {
    thread.inputKanjicode = 4;  // Taiwan 2ch writes big5
  } else {
    std::string_view region = EncodingRegion(head, o.headKb);
    int decided = IdentifyEncoding(region);
    if (decided == 0) {
      // A tie of EUC-JP and UTF-8: well-formed UTF-8 is UTF-8, anything else EUC-JP.
      decided = common::IsValidUtf8(region) ? 3 : 2;
    }
    thread.inputKanjicode = decided;
  }
  std::string blanked;  // a copy only for a head that holds NUL bytes
  if (head.find('\0') != std::string_view::npos) {
    blanked.assign(head);
    for (size_t nul = blanked.find('\0'); nul != std::string::npos;
         nul = blanked.find('\0', nul + 1)) {
      blanked[nul] = ' ';
    }
    head = blanked;
  }
  thread.oldArchive = (head.rfind("LIVE,,", 0) == 0 || head.rfind("KAKO,,", 0) == 0);
  if (head.rfind("<dt><a name=\"a1\">1", 0) == 0) return Identification::kEarlierHtml;

  const bool unlimited = o.headKb == 0;
  const bool headFull = head.size() >= HeadBytes(o);
  const int keyYear = YearOfKey(thread.key);
  size_t pos = 0;
  size_t lineStart = 0;
  std::string_view line;
  bool first = true;
  while (NextLine(head, pos, line)) {
    // A line cut by the end of the head is not judged.
    if (headFull && pos == head.size() && head.back() != '\n' && !first) break;
    bool oldForm = false;
    DatFields fields = SplitDatLine(line, &oldForm);
    bool skip = fields.count < 3 ||
                (unlimited && (fields.field[0].size() >= 256 || fields.field[1].size() >= 256));
    if (!skip) {
      DateReading third = ReadPostDate(fields.field[2], thread.inputKanjicode, keyYear);
      DatForm form = DatForm::kUnknown;
      DateReading deciding;
      if (IsPostDate(third)) {
        form = DatForm::kPlain;
        deciding = third;
      } else if (fields.count >= 5) {
        DateReading fourth = ReadPostDate(fields.field[3], thread.inputKanjicode, keyYear);
        if (IsPostDate(fourth)) {
          form = DatForm::kNumbered;
          deciding = fourth;
        }
      }
      if (form != DatForm::kUnknown) {
        thread.form = form;
        thread.separator = oldForm ? FieldSeparator::kOldComma : FieldSeparator::kCurrent;
        thread.titleRaw = {};
        std::string_view title = TitleField(fields, form);
        thread.title = title.empty()
                           ? std::string()
                           : common::DecodeToUtf8(title, CharsetOf(thread.inputKanjicode));
        while (!thread.title.empty() && thread.title.back() == '\r') thread.title.pop_back();
        // The numbered form and its date style belong to まちＢＢＳ and したらば:
        // まちＢＢＳ writes the poster's host in brackets or as IP:.
        if (form == DatForm::kNumbered) {
          bool machi = deciding.notes.hasIp || deciding.notes.hasBracket ||
                       (deciding.notes.hasId && fields.count < 7);
          thread.kindFlags |= BoardKindBit(machi ? BoardKind::kMachi : BoardKind::kShitaraba);
        }
        if (decidingLine) *decidingLine = lineStart;
        return Identification::kDat;
      }
    }
    if (unlimited) break;  // with an unlimited head only the first line may decide
    first = false;
    lineStart = pos;
  }
  return Identification::kUnknownForm;
}

Identification IdentifyFile(const Options& cmd, Thread& thread) {
  if (!OpenLog(thread)) return Identification::kNotOpenable;
  // The size tells when a short read has met the end of the file.
  if (!thread.statted) StatLog(thread);
  // The head goes to the front of the thread's buffer, where reading goes on from it.
  const size_t wanted = HeadBytes(cmd.o);
  thread.buffer.clear();
  thread.buffer.Reserve(wanted);
  size_t got = 0;
  thread.headAtEnd = false;
  while (got < wanted) {
    ssize_t n = ::read(thread.fd, thread.buffer.data() + got, wanted - got);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      thread.headAtEnd = n == 0;
      break;
    }
    const bool shortRead = static_cast<size_t>(n) < wanted - got;
    got += static_cast<size_t>(n);
    if (shortRead && ShortReadEnds(thread, got)) {
      thread.headAtEnd = true;
      break;
    }
  }
  thread.buffer.SetSize(got);
  thread.headBytes = got;
  size_t decidingLine = 0;
  const bool headFull = got == wanted;
  Identification result =
      IdentifyHead(std::string_view(thread.buffer.data(), got), cmd, thread, &decidingLine);
  thread.firstLineOffset = decidingLine;
  if (result == Identification::kDat && thread.title.empty() && headFull) {
    // The head ended inside the deciding line (a first post longer than the
    // head): the title is taken from the whole line, for the query as well.
    thread.title = TitleOfLineAt(thread, decidingLine);
  }
  return result;
}

}  // namespace converter
