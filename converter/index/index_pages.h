// Writes the index pages of a set of entries: a thread list in every folder
// that holds pages (or one list in the output root when one index for all is
// asked), and a tree page in every folder above them, so that every folder
// of the index links each of its children and the output root always holds
// the top page.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "converter/index/index_entry.h"
#include "converter/index/templates.h"
#include "converter/options/options.h"
#include "converter/options/reporter.h"

namespace converter::index {

// Escapes a title for an index page: every tag as text, TAB and LF kept as
// blanks; "(無題)" for an empty one.
std::string TitleHtml(const std::string& title);

// The first post as an index page shows it: its line breaks kept, every
// other tag of the log dropped (its text stays), stray '<' and '>' escaped.
std::string MessageHtml(const std::string& message);

// A folder or file name inside an href (UTF-8): the signs an address gives
// a meaning to are percent-encoded.
std::string HrefPart(const std::string& name);

// Writes the pages into cmd.outputFolder; returns the number of files written.
int WriteIndexPages(const std::deque<IndexEntry>& entries, const Options& cmd,
                    const IndexTemplates& templates, Reporter& reporter);

}  // namespace converter::index
