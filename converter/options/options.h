// The converter's option record `cmd`: filled once from the command line and
// read by every later stage (reading, page writer, index, placement, script).
// Field names under `m` and `js` are the switch names users see in the help
// pages; the others are named after what they hold.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace converter {

// Output modes, fixed before the options are read.
enum class Mode {
  kStandard = 1,   // built-in page layout
  kSkin = 2,       // pages from the user's skin files (/p)
  kPlainText = 3,  // text output of the sibling build; never chosen here
};

// Text encodings as the converter numbers them.
enum class Kanjicode {
  kUnspecified = 0,
  kShiftJis = 1,
  kEucJp = 2,
  kUtf8 = 3,
  kBig5 = 4,
};

// Page-format switches of /m, in the order of the hex digits.
struct MSwitches {
  bool namae = true;       // 1.1 label 名前 in the name column
  bool toukoubi = false;   // 1.2 label 投稿日 in the date column
  bool maildshow = false;  // 1.3 mail shown as text beside the name
  bool titlehide = false;  // 1.4
  int hizuke = 0;  // 2.1-2.2: 3 add weekday, 2 remove it, 1 board notation off + weekday, 0 as is
  bool size = false;                 // 2.3 dat size at the end of the page
  bool notdelsp = true;              // 2.4 keep blanks around the body and its <br>
  bool delsptt = false;              // 3.1 strip leading blanks of the title
  bool delnamesp = false;            // 3.2 strip blanks at both ends of the name
  bool retcodeLF = false;            // 3.3 lines end in LF instead of CR LF
  bool notreplaceresanchor = false;  // 3.4 keep the log's own anchors
  bool link_backtoboard = true;      // 4.1 『掲示板に戻る』
  bool link_moto = true;             // 4.2 『元のスレッド』
  bool link_redirect = false;        // 4.3 redirector before external links
  bool link_back = true;             // 4.4 「戻る」
  bool link_numlink = true;          // 5.1 links to every 100 posts
  int link = 0;                      // 5.2-5.3: 3 no links, 2 no external links, 1 no ttp://, 0 all
  bool credit = true;                // 5.4
  bool forcemspfont = false;         // 6.2
  bool readcgi7xx = false;           // 6.3 1: page head in read.cgi 05.x style; 0: 7.xx style
  bool link_omit_atagstr = false;    // 6.4
  int limitoflinenumber = 0;         // 7.1-8.1, 0-31; 0 = no cutting
  bool omitdldd = false;             // 8.2
  bool writehtmlindextag = false;    // 8.3
  bool anchorext = false;            // 8.4
  bool sssp2img = false;             // 9.1
  int output_kanjicode = 0;          // 9.2-9.3: a Kanjicode 0-3
  bool nametargetR = true;  // in-page links are #R<n> (else #<n>); bit 9.4 inverted in mode 1
};

// Script switches of /js.
struct JsSwitches {
  // 1.1 embed the script (else refer to a file); embedding is the default, so
  // the search box that /m turns on without /js goes into the page head.
  bool method = true;
  bool target = false;            // 1.2 external file in the current folder (else output root)
  bool txtsearch = false;         // 2.1 thread search box
  bool belink = false;            // 2.2 Be links by script
  bool respopup = false;          // 3.1
  bool mailpopup = false;         // 3.2
  bool idpopup = false;           // 3.3
  bool refpopup = false;          // 3.4
  bool enabled = false;           // scripts at all
  bool txtsearchSetByJs = false;  // /js given: /m no longer decides txtsearch
};

// Behaviour switches of /o, decoded from the six-digit word.
struct OSwitches {
  std::uint32_t word = 0x001B1E;
  bool noIdxInf = false;               // 1.1 do not read .idx/.inf files
  bool noBrowserBoardFiles = false;    // 1.2
  bool noCurrentBoardFiles = false;    // 1.3 2channel.brd / others.brd of the program folder
  bool ignoreLogCheck = false;         // 1.4 take every input as a 2ch dat
  bool noExistingOutputCheck = false;  // 2.1
  int inputKanjicode = 0;              // 2.3-2.4: a Kanjicode 0-3, 0 = detect
  int boardInfoPriority = 0x1B;        // digits 3-4: four 2-bit source codes from the high end
  int headKb = 30;                     // digits 5-6; 0 is kept as 0 (= 30 KB, unlimited lines)
};

// /i index settings.
struct IndexSettings {
  bool enabled = false;
  bool decorated = false;       // /I
  bool copyBackground = false;  // ':' separator: copy bg.gif into the output root
  char sortKey = 'l';           // n f l L r x
  char order = 'd';             // u d
  std::array<int, 10> digits = {1, 1, 0, 0, 0, 0, 0, 0, 1, 0};
  std::string fileName;  // ":file"; empty = index.html
};

// /ts date filter.
struct DateFilter {
  bool enabled = false;
  std::string from = std::string(14, '*');  // YYYYMMDDhhmmss, '*' matches any digit
  std::string to = std::string(14, '*');
  char basis = 'f';  // f first post, l last post, m file modification, c file creation
};

// /v report modes.
enum class ReportMode { kNone, kV, kVf, kVo };

// What the input names.
enum class InputKind { kNone, kFile, kPattern, kFolder };

struct Options {
  Mode mode = Mode::kStandard;

  MSwitches m;
  JsSwitches js;
  OSwitches o;
  IndexSettings i;

  // /a folder layout: letters of "BsbnfFd" in the order given, and r / c.
  std::string folderLetters;
  bool reproduceTree = false;  // /a r
  bool oneFolder = false;      // /a c or /s c

  long long partSize = 0;  // /d posts per part, 0 = no split
  int minPosts = 0;        // /r, 0 = no filter
  int maxPosts = 999999;
  DateFilter ts;

  bool query = false;          // /q
  bool queryFromFile = false;  // bare /q: first line of query.txt
  std::string queryText;

  bool move = false;         // /mv
  std::string movePath;      // empty = the output folder
  bool moveRelated = false;  // ::r

  bool titleFormatGiven = false;  // /t
  std::string fileNameFormat;     // "%threadtitle%" for bare /t

  char forcedKind = 0;     // /f: '1'..'8', 'x', ... 0 = not forced
  std::string indexTitle;  // /n
  std::string skinPath;    // /p, with a trailing '/'
  std::string uploadUrl;   // /w, with a trailing '/'

  bool c = false;   // output into the current folder
  bool ct = false;  // output files get the input's last-write time
  bool l = false;   // log file only, no console
  bool u = false;   // overwrite only when the input is newer
  bool ur = false;  // skin: Res.html instead of NewRes.html
  ReportMode v = ReportMode::kNone;
  bool x = false;                 // never write the credit line
  bool z = false;                 // only files with board log names
  bool s = false;                 // include subfolders
  bool sOneIndex = false;         // /s=1
  std::string pathSelectionFile;  // /s:"file"
  bool sp = false;                // mode 3 only
  bool st = false;                // mode 3 only

  // Resolved paths (UTF-8, '/' separators).
  std::string inputPath;  // absolute; empty with NULL input
  bool inputNull = false;
  InputKind inputKind = InputKind::kNone;
  std::string outputFolder;          // ends in '/'; empty with NULL output
  bool outputFolderCreated = false;  // the run created it: no page of its own is there yet
  bool outputNull = false;
  std::string programFolder;  // the executable's folder, ends in '/'
};

// Maps a Kanjicode to the names written into pages ("Shift_JIS", ...); "" for unspecified.
const char* KanjicodeName(int kanjicode);

}  // namespace converter
