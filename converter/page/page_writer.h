// Builds the HTML page(s) of one thread in standard mode: head, link bar,
// title, posts and footer, split into parts with /d and with over-long posts
// written whole to a "_o.html" companion.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/encoding.h"
#include "converter/options/options.h"
#include "converter/reading/thread.h"

namespace converter::page {

// What the pop-up script puts into the page head (texts in UTF-8).
struct HeadScript {
  std::string embedded;       // script text for the head's script element
  std::string fileReference;  // address of an external script file (method 0)
};

// Decided for a thread before its page is built.
struct PageSetup {
  std::string folder;          // page folder, ends in '/'
  std::string baseName;        // output name without ".html"
  std::string indexLink;       // address of the index page from this page; "" for none
  std::string redirectPrefix;  // first line of redirect.txt
  HeadScript script;
  std::string indexRecord;  // index entry line for writehtmlindextag; "" to build none
  int outputKanjicode = 0;  // encoding of the page; 0 for the thread's
};

struct PageFile {
  std::string path;
  std::string bytes;  // in the output encoding
};

struct BuiltPages {
  std::vector<PageFile> files;  // parts in order, then the "_o.html" companion
  int parts = 1;
  bool split = false;
  bool overflow = false;  // a "_o.html" companion was built
  int postsWritten = 0;
  // For each post (in order), the earlier or later posts its anchors name.
  std::vector<std::vector<int>> refs;
};

// Number of parts of a thread of `posts` posts split every `every` posts.
int PartCount(long long posts, long long every);

// File name of part `part` (1-based) of `parts`.
std::string PartFileName(const std::string& baseName, int part, int parts);

BuiltPages BuildPages(const Thread& thread, const Options& cmd, const PageSetup& setup);

// The pieces of the link bar, each complete (its links, each followed by the
// line end), empty where the standard page shows none.
struct LinkPieces {
  std::string backToIndex;   // the index page
  std::string backToBoard;   // the BBS's top page and the board
  std::string sourceThread;  // the thread on the board
  std::string all;           // the whole thread (its first part)
  std::string resNumber;     // 1-, 101-, ... or one link per part
  std::string back, next;    // the previous and next part
  std::string lastFifty;     // the latest 50 posts
  std::string credit;        // the credit line (last part only)
};

// The fields of one post as the standard page writes them: escaped and
// rewritten, in the page's encoding.
struct PostPieces {
  int number = 0;
  bool empty = false;         // no name, mail, date or body: nothing to write
  std::string name;           // without the bold tags
  std::string mail;           // as text
  std::string mailAttribute;  // for a mailto: address
  std::string date;           // the date field, without ID and Be when asked
  std::string id;
  std::string be;                       // "BE:" and the link to the Be profile
  std::string beId, beLevel, beString;  // "95537333", "2BP", "95537333-2BP(111)"
  std::string body;                     // cut after `limitoflinenumber` lines, with the notice
  std::string wholeBody;                // when cut: the whole body for the "_o.html" page
};

class PageBuilder;

// The standard page's pieces for pages built from the user's templates.
class StandardPieces {
 public:
  StandardPieces(const Thread& thread, const Options& cmd, const PageSetup& setup);
  ~StandardPieces();
  StandardPieces(const StandardPieces&) = delete;
  StandardPieces& operator=(const StandardPieces&) = delete;

  int parts() const;
  std::pair<size_t, size_t> PostsOfPart(int part) const;  // [first, last) post indexes
  std::string PartFile(int part) const;                   // 0-based part
  // overflowPage: for the "_o.html" page, whose in-page links lead into the main page.
  LinkPieces Links(int part, bool overflowPage = false);
  // idApart, beApart: the ID or the Be part is left out of the date.
  PostPieces PostFields(size_t index, bool idApart, bool beApart);
  std::string Title();  // escaped; "(無題)" for none
  // Text of this program or of the log (UTF-8) escaped for an attribute.
  std::string AttributeText(const std::string& utf8) const;
  common::Charset charset() const;
  const char* CharsetName() const;

 private:
  std::unique_ptr<PageBuilder> builder_;
};

}  // namespace converter::page
