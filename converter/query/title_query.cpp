#include "converter/query/title_query.h"

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/query/query_normalise.h"

namespace converter::query {
namespace {

// A normalised term holds at most 256 full-width characters (512 bytes in
// Shift_JIS); a title is compared over at most 4000 (8000 bytes).
constexpr size_t kLongestTermCharacters = 256;
constexpr size_t kLongestTitleCharacters = 4000;

std::string CutCharacters(const std::string& utf8, size_t characters) {
  size_t count = 0;
  for (size_t at = 0; at < utf8.size(); ++at) {
    if ((static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80) continue;
    if (count++ == characters) return utf8.substr(0, at);
  }
  return utf8;
}

}  // namespace

std::optional<TitleQuery> TitleQuery::Parse(std::string_view text) {
  // The ideographic blank separates terms like the ASCII one.
  std::string spaced;
  for (size_t at = 0; at < text.size(); ++at) {
    if (text.compare(at, 3, "\xE3\x80\x80") == 0) {
      spaced += ' ';
      at += 2;
    } else {
      spaced += text[at] == '\t' ? ' ' : text[at];
    }
  }
  TitleQuery query;
  size_t at = 0;
  while (query.terms_.size() < kMostTerms) {
    while (at < spaced.size() && spaced[at] == ' ') ++at;
    if (at >= spaced.size()) break;
    // A term runs to the next blank outside double quotes; the quotes go
    // before the sign is looked at, so a sign is never searched for.
    std::string raw;
    bool quoted = false;
    for (; at < spaced.size() && (quoted || spaced[at] != ' '); ++at) {
      if (spaced[at] == '"') {
        quoted = !quoted;
      } else {
        raw += spaced[at];
      }
    }
    Term term;
    if (!raw.empty() && (raw[0] == '+' || raw[0] == '-')) {
      term.kind = raw[0] == '+' ? TermKind::kRequired : TermKind::kExcluded;
      raw.erase(0, 1);
    }
    term.text = CutCharacters(NormaliseForQuery(raw), kLongestTermCharacters);
    // A term with nothing to search ("-", "+", "") would match every title
    // (or, excluded, none): it is left out and does not count.
    if (term.text.empty()) continue;
    query.terms_.push_back(std::move(term));
  }
  if (query.terms_.empty()) return std::nullopt;
  bool required = false, alternative = false;
  for (const Term& term : query.terms_) {
    required |= term.kind == TermKind::kRequired;
    alternative |= term.kind == TermKind::kAlternative;
  }
  query.mixed_ = required && alternative;
  return query;
}

bool TitleQuery::Passes(std::string_view titleUtf8) const {
  std::string title =
      NormaliseForQuery(CutCharacters(DecodeEntities(titleUtf8), kLongestTitleCharacters));
  int hits = 0;
  bool onlyExcluded = true;
  for (const Term& term : terms_) {
    bool found = title.find(term.text) != std::string::npos;
    switch (term.kind) {
      case TermKind::kExcluded:
        if (found) return false;
        break;
      case TermKind::kRequired:
        onlyExcluded = false;
        if (!found) return false;
        if (!mixed_) ++hits;
        break;
      case TermKind::kAlternative:
        onlyExcluded = false;
        if (found) ++hits;
        break;
    }
  }
  return onlyExcluded || hits > 0;
}

std::optional<TitleQuery> PrepareQuery(const Options& cmd, Reporter& reporter) {
  std::string text = cmd.queryText;
  if (cmd.queryFromFile) {
    std::optional<std::string> bytes = common::ReadWholeFile(cmd.programFolder + "query.txt");
    if (!bytes) {
      reporter.Say("/q  :query.txtが存在しないか、読み込みに失敗しました。\r\n");
      return std::nullopt;
    }
    std::string line = bytes->substr(0, bytes->find_first_of("\r\n"));
    if (line.size() > kLongestQueryLine) line.resize(kLongestQueryLine);
    if (line.rfind("\xEF\xBB\xBF", 0) == 0) line.erase(0, 3);
    // The file is Shift_JIS like every text file of the program; UTF-8 is
    // taken as it is.
    text = common::IsValidUtf8(line) ? line : common::Cp932ToUtf8(line);
  }
  if (text.find_first_not_of(" \t") == std::string::npos) {
    reporter.Say("/q  :検索式またはquery.txtが無効です。\r\n");
    return std::nullopt;
  }
  reporter.Say("検索式：" + text + "\r\n");
  std::optional<TitleQuery> query = TitleQuery::Parse(text);
  if (!query) reporter.Say("/q  :検索式またはquery.txtが無効です。\r\n");
  return query;
}

}  // namespace converter::query
