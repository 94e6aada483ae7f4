// The user's skin: the header, post and footer templates of a skin folder,
// read once per run and brought to one encoding.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "converter/options/options.h"
#include "converter/options/reporter.h"

namespace converter::skin {

struct Template {
  std::string file;   // path, "" when the file is absent
  std::string utf8;   // the text, decoded; a UTF-8 byte-order mark dropped
  int kanjicode = 0;  // as detected; 0 when the bytes are plain ASCII (or there are none)
};

struct Skin {
  std::string folder;  // ends in '/'
  Template header, post, footer;
  // Encoding of the pages: the forced output encoding, else that of the
  // first template whose encoding could be told; 0 when neither is known, or
  // when the header names the charset through <CHARSET/>: each page is then
  // written in its thread's encoding.
  int kanjicode = 0;
};

// "newres.html", or "res.html" with /ur.
std::string PostTemplateName(const Options& cmd);

// Encoding of a template's bytes by the log reader's detector (over at most
// its first 30720 bytes): 1 Shift_JIS, 2 EUC-JP, 3 UTF-8; 0 for plain ASCII.
int TemplateKanjicode(std::string_view bytes);

// Reads the templates of cmd.skinPath with the loading messages. nullopt
// (after "スキンファイルを開くことができません。") when the post template is missing;
// a missing header or footer is an empty template.
std::optional<Skin> LoadSkin(const Options& cmd, Reporter& reporter);

}  // namespace converter::skin
