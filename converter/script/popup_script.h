// The pop-up script: its pieces with the option lines set from /js, expanded
// into the embedded or the file form, and the page-language copy.
#pragma once

#include <string>
#include <string_view>

#include "converter/options/options.h"
#include "converter/script/marker_expander.h"

namespace converter::script {

// Whether any of the five switches asks for the script at all.
bool WantsPopupScript(const JsSwitches& js);

// The pieces in order, option lines rewritten, markers still in place.
std::string MarkedPopupScript(const JsSwitches& js);

// The script in `form` with `eol` as its line end.
std::string BuildPopupScript(const JsSwitches& js, ScriptForm form, std::string_view eol);

// The copy for a page of `language` (0 Japanese, 1 Chinese, 2 English): the
// script's own messages and button caption in English for languages other than 0.
std::string ForPageLanguage(std::string script, int language);

// UTF-8 text with every character beyond ASCII written as a \uXXXX escape, so
// that a script file reads the same in a page of any encoding.
std::string AsciiEscaped(std::string_view utf8);

}  // namespace converter::script
