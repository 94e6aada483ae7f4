// Reads the index records that pages carry at their end (written with the
// /m switch writehtmlindextag), for rebuilding an index from earlier runs.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "converter/index/index_entry.h"
#include "converter/options/reporter.h"

namespace converter::index {

enum class PageRecord { kFound, kMissing, kMalformed };

// The record of one page's bytes, decoded by the charset the page declares.
PageRecord ReadPageRecord(const std::string& pageBytes, IndexEntry& entry);

// Walks every folder under `outputRoot` for pages (*.html, but not the
// index pages named in `skip`), reports as it goes, and hands each entry
// found to `add` with its folder and file name as they are now. Returns
// the number of pages an entry came from.
int ImportPageRecords(const std::string& outputRoot,
                      const std::function<bool(const std::string&)>& skip,
                      const std::function<void(IndexEntry)>& add, Reporter& reporter);

}  // namespace converter::index
