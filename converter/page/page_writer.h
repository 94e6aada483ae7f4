// Builds the HTML page(s) of one thread in standard mode: head, link bar,
// title, posts and footer, split into parts with /d and with over-long posts
// written whole to a "_o.html" companion.
#pragma once

#include <functional>
#include <string>
#include <vector>

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

}  // namespace converter::page
