// Pages of a thread built from the skin's templates: the header and footer
// with the thread's markers, one post template per post.
#pragma once

#include "converter/options/options.h"
#include "converter/page/page_writer.h"
#include "converter/reading/thread.h"
#include "converter/skin/skin_templates.h"

namespace converter::skin {

// The page files of a thread (parts as in standard mode), in the skin's
// encoding or, when the skin names none, the thread's.
page::BuiltPages BuildSkinPages(const Thread& thread, const Options& cmd,
                                const page::PageSetup& setup, const Skin& skin);

}  // namespace converter::skin
