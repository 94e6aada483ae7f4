// Expands the layout markers of a stored script into one of its two forms.
#pragma once

#include <string>
#include <string_view>

namespace converter::script {

enum class ScriptForm {
  kEmbedded,  // for the page head: one long line per piece, no comments, no indentation
  kFile,      // for a script file: readable, indented, commented
};

// <cr/> a line break, <spN/> N blanks (1-29), <cmt>...</cmt> a comment,
// <RET/> the end of a piece (a line end in both forms).
std::string ExpandMarkers(std::string_view marked, ScriptForm form, std::string_view eol);

}  // namespace converter::script
