// One thread log as the reader delivers it to the page writer: the file's
// facts, its board, and its posts split into fields.
//
// Post fields are views into the thread's own buffer (bytes of the input
// encoding, as the log holds them); DecodeField turns one into UTF-8. The
// record is therefore neither copied nor moved: it lives where it was built.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "converter/reading/board_kind.h"
#include "converter/reading/file_buffer.h"

namespace converter {

// How the lines of a log are laid out.
enum class DatForm {
  kUnknown,
  kPlain,     // name<>mail<>date<>body<>title
  kNumbered,  // number<>name<>mail<>date<>body<>title[<>id]
};

enum class FieldSeparator {
  kCurrent,   // "<>"
  kOldComma,  // "," with "＠｀" for a comma inside a field
};

// What identification found.
enum class Identification {
  kNotOpenable,
  kEmpty,
  kUnknownForm,
  kEarlierHtml,  // a page of an earlier conversion
  kDat,
};

// Where the board of a thread lives.
struct BoardInfo {
  std::string name;           // board name (UTF-8), e.g. "Linux板"
  std::string folderName;     // board folder, e.g. "linux"
  std::string server;         // host, e.g. "pc11.2ch.net"
  std::string category;       // したらば category folder
  std::string address;        // "http://<server>/<board>/", "" when unknown
  std::string threadAddress;  // source-thread address, "" when unknown
  std::string source;         // file the information came from, "" when guessed
};

// The notes the date reader leaves, which tell board kinds apart.
struct DateNotes {
  bool hasId = false;       // "ID:"
  bool hasBracket = false;  // "[...]" after the time
  bool hasIp = false;       // "<font size=1>IP:" with "ID:"
};

struct Post {
  int number = 0;  // 1-based, follows the log's numbers in the numbered form
  std::string_view name;
  std::string_view mail;
  std::string_view date;  // the whole date-and-ID field
  std::string_view body;
  std::string_view title;     // fifth field: the title on the first line only
  std::string_view id;        // "ID:" value of the date field, or the numbered form's ID field
  std::string_view language;  // World 2ch: "en", "ja", "ko", "zh"
  std::string_view notation;  // board's own addition in the date ("ラッキー賞" ...), may be empty
  std::uint64_t time = 0;     // YYYYMMDDhhmmsscc, 0 when the field has no date
  bool sage = false;          // mail field contains "sage"
  bool broken = false;        // too long a field or fewer than 3 fields: written as broken
};

struct Thread {
  Thread() = default;
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;
  ~Thread() { CloseFile(); }

  // The file.
  std::string path;      // as walked (UTF-8, absolute)
  std::string baseName;  // file name without its extension
  long long fileSize = 0;
  long long modifiedTime = 0;  // seconds since the epoch
  long long createdTime = 0;   // birth time, or status change time where none is kept
  std::uint64_t key = 0;       // thread key from a log name, else 0
  // The log stays open from identification to the end of reading, so that
  // each log is opened once; -1 when not open.
  int fd = -1;
  bool statted = false;      // times and expectedSize are known
  bool regularFile = false;  // a short read of it means its end (not so of a pipe)
  size_t expectedSize = 0;   // the file's size when it was opened
  size_t headBytes = 0;      // leading bytes of the file already in `buffer`
  bool headAtEnd = false;    // the head read met the end of the file
  // Names of the files in the log's folder when the walk listed it (side
  // files are looked up there instead of being opened); null to probe.
  const std::unordered_set<std::string>* folderNames = nullptr;

  // What identification found.
  Identification identification = Identification::kUnknownForm;
  DatForm form = DatForm::kUnknown;
  FieldSeparator separator = FieldSeparator::kCurrent;
  bool oldArchive = false;     // head begins "LIVE,," or "KAKO,,"
  int inputKanjicode = 1;      // a Kanjicode 1-4
  int outputKanjicode = 1;     // a Kanjicode 1-4
  std::string title;           // UTF-8, trailing CR removed; "" when the log has none
  std::string_view titleRaw;   // as in the log
  size_t firstLineOffset = 0;  // where the line that decided the form begins

  // Board.
  BoardInfo board;
  unsigned kindFlags = 0;  // BoardKindBit of every kind the information suggests
  BoardKind kind = BoardKind::kOther;
  int language = 0;  // 0 Japanese, 1 Chinese (Taiwan 2ch), 2 English (World 2ch)
  const BoardKindTraits* traits = nullptr;  // never null after reading

  // Contents.
  FileBuffer buffer;  // the whole file; post fields view into it
  std::deque<std::string>
      unescaped;  // old comma form: fields rewritten (a deque keeps views valid)
  std::vector<Post> posts;
  int postCount = 0;  // LF bytes from the first identified line on
  int sizeKb = 1;     // bytes without CR, / 1024, at least 1
  std::uint64_t firstPostTime = 0;
  std::uint64_t lastPostTime = 0;
  std::uint64_t lastNonSageTime = 0;  // latest post whose mail lacks "sage"
  DateNotes dateNotes;

  // UTF-8 text of a field of this thread.
  void CloseFile();

  std::string DecodeField(std::string_view raw) const;
  // A field as bytes of the output encoding (unchanged when both encodings agree).
  std::string ToOutputEncoding(std::string_view raw) const;
};

}  // namespace converter
