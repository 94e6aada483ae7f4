// The title query of /q: up to 30 terms, each an alternative ("word"), a
// required term ("+word") or an excluded term ("-word"), compared with titles
// in the normalised form (width, case and blanks ignored).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "converter/options/options.h"
#include "converter/options/reporter.h"

namespace converter::query {

enum class TermKind { kAlternative, kRequired, kExcluded };

struct Term {
  std::string text;  // normalised, without its sign
  TermKind kind = TermKind::kAlternative;
};

constexpr size_t kMostTerms = 30;
constexpr size_t kLongestQueryLine = 2999;  // bytes of query.txt's first line

class TitleQuery {
 public:
  // Splits `text` (UTF-8) into terms; nullopt when it holds none.
  static std::optional<TitleQuery> Parse(std::string_view text);

  // Alternatives alone: any of them; required terms alone: all of them;
  // both: every required term and at least one alternative; an excluded
  // term found always rejects, and excluded terms alone accept every title
  // that holds none of them.
  bool Passes(std::string_view titleUtf8) const;

  const std::vector<Term>& terms() const { return terms_; }
  bool mixed() const { return mixed_; }

 private:
  std::vector<Term> terms_;
  bool mixed_ = false;  // required and alternative terms together
};

// Takes the query of the run (the /q value, or the first line of query.txt
// in the program's folder for a bare /q), reports it and parses it. nullopt
// when the query is switched off: every title then passes.
std::optional<TitleQuery> PrepareQuery(const Options& cmd, Reporter& reporter);

}  // namespace converter::query
