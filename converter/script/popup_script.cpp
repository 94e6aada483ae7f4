#include "converter/script/popup_script.h"

#include <cstdio>

#include "converter/script/script_pieces.h"

namespace converter::script {
namespace {

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

struct OptionLine {
  const char* name;
  bool JsSwitches::*field;
};

constexpr OptionLine kOptionLines[] = {
    {"idpopup", &JsSwitches::idpopup},    {"mailpopup", &JsSwitches::mailpopup},
    {"refpopup", &JsSwitches::refpopup},  {"respopup", &JsSwitches::respopup},
    {"schpanel", &JsSwitches::txtsearch},
};

struct LanguageText {
  std::string_view japanese;
  std::string_view english;
};

constexpr LanguageText kEnglish[] = {
    {"(他に同じIDの投稿はありません)", "(Not found)"},
    {"(この投稿に対するレスはありません)", "(There is no response to this message.)"},
    {"value=\"検索\"", "value=\"Search\""},
    {"window.status=\"※ \"+cnt+\" / \"+l+\" 件の検索結果\"",
     "window.status=\" Search results \"+cnt+\" / \"+l"},
    {"※ 正規表現で構文エラーが発生しました", " An error occured in regexp search."},
};

}  // namespace

bool WantsPopupScript(const JsSwitches& js) {
  return js.idpopup || js.mailpopup || js.refpopup || js.respopup || js.txtsearch;
}

std::string MarkedPopupScript(const JsSwitches& js) {
  std::string script;
  for (std::string_view piece : PopupPieces()) script += piece;
  for (const OptionLine& line : kOptionLines) {
    if (js.*line.field) continue;
    std::string on = std::string("pop.opt.") + line.name + " = 1";
    std::string off = std::string("pop.opt.") + line.name + " = 0";
    ReplaceAll(script, on, off);
  }
  return script;
}

std::string BuildPopupScript(const JsSwitches& js, ScriptForm form, std::string_view eol) {
  return ExpandMarkers(MarkedPopupScript(js), form, eol);
}

std::string ForPageLanguage(std::string script, int language) {
  if (language == 0) return script;
  for (const LanguageText& text : kEnglish) ReplaceAll(script, text.japanese, text.english);
  return script;
}

std::string AsciiEscaped(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  auto escape = [&out](unsigned unit) {
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "\\u%04X", unit);
    out += buffer;
  };
  for (size_t i = 0; i < utf8.size();) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      ++i;
      continue;
    }
    int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    unsigned code = extra == 3 ? c & 0x07u : extra == 2 ? c & 0x0Fu : c & 0x1Fu;
    bool valid = extra > 0 && i + static_cast<size_t>(extra) < utf8.size();
    for (int k = 1; valid && k <= extra; ++k) {
      unsigned char next = static_cast<unsigned char>(utf8[i + static_cast<size_t>(k)]);
      if ((next & 0xC0) != 0x80) valid = false;
      code = (code << 6) | (next & 0x3Fu);
    }
    if (!valid) {
      escape(0xFFFD);
      ++i;
      continue;
    }
    if (code > 0xFFFF) {
      code -= 0x10000;
      escape(0xD800 + (code >> 10));
      escape(0xDC00 + (code & 0x3FF));
    } else {
      escape(code);
    }
    i += static_cast<size_t>(extra) + 1;
  }
  return out;
}

}  // namespace converter::script
