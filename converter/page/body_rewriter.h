// Rewrites the name, date and body fields of a post for the page: the log's
// own post anchors become in-page links, plain addresses become links, and
// markup a board never writes is shown as text so that a log cannot run
// script in the reader's browser.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/encoding.h"
#include "converter/page/markup_filter.h"
#include "converter/page/text_sink.h"

namespace converter::page {

struct BodyRules {
  bool notdelsp = false;
  bool notreplaceresanchor = false;
  bool nametargetR = true;  // in-page links are #R<n>, else #<n>
  bool anchorext = false;
  bool sssp2img = false;
  bool link_omit_atagstr = false;
  bool link_redirect = false;
  int link = 0;  // 0 link all, 1 leave ttp:// as text, 2 no external links, 3 no links at all
  std::string redirectPrefix;  // e.g. "ime.example/" (without scheme)
  // Encoding of the text: multi-byte characters are stepped over whole, so a
  // trail byte that looks like an ASCII sign is never taken for one.
  common::Charset charset = common::Charset::kUtf8;
};

enum class FieldKind { kBody, kName, kDate };

// Where a post anchor points: the part file holding post n ("" when the
// thread is not split) and the number of posts in the thread.
struct AnchorContext {
  int postCount = 0;
  std::function<std::string(int)> partFileOf;  // may be empty
};

// Most targets one post remembers for the back-reference pop-ups.
inline constexpr size_t kMaxRefsPerPost = 200;

// Rewrites one field. `refs` (may be null) receives the posts the field
// anchors, each at most the post count, at most kMaxRefsPerPost of them.
std::string RewriteField(std::string_view text, FieldKind kind, const BodyRules& rules,
                         const AnchorContext& anchors, std::vector<int>* refs = nullptr);

// The same, appending to `out`. `stops` (may be null): every place where
// `text` holds '<' or "://", in order, as TrimBodyBlanksInto finds them;
// the text is then not searched again.
void RewriteFieldInto(std::string& out, std::string_view text, FieldKind kind,
                      const BodyRules& rules, const AnchorContext& anchors,
                      std::vector<int>* refs = nullptr, const std::vector<size_t>* stops = nullptr);
void RewriteFieldInto(TextSink& out, std::string_view text, FieldKind kind, const BodyRules& rules,
                      const AnchorContext& anchors, std::vector<int>* refs = nullptr,
                      const std::vector<size_t>* stops = nullptr);

// Removes the blanks the log writes around each <br> and at both ends.
std::string TrimBodyBlanks(std::string_view body);
// The same into `out` (cleared first); `stops` (may be null) receives where
// the result holds '<' or "://".
void TrimBodyBlanksInto(std::string& out, std::string_view body,
                        std::vector<size_t>* stops = nullptr);
// The same appended to `out`, the places counted from where it began. True
// when the only markup is <br> and no address: the rewriter would then write
// the text as it stands.
bool AppendTrimmedBody(std::string& out, std::string_view body,
                       std::vector<size_t>* stops = nullptr);
bool AppendTrimmedBody(TextSink& out, std::string_view body, std::vector<size_t>* stops = nullptr);

// True when the host of an address belongs to the 2ch family of boards,
// whose links never go through the redirector.
bool IsBoardFamilyHost(std::string_view address);

}  // namespace converter::page
