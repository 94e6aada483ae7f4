// The stored script and its two forms: markers, option lines, the page
// language, and that both forms are valid JavaScript for node.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "common/file_io.h"
#include "converter/options/packed_values.h"
#include "converter/script/be_page_script.h"
#include "converter/script/marker_expander.h"
#include "converter/script/popup_script.h"
#include "converter/script/script_pieces.h"

namespace {

using converter::script::ExpandMarkers;
using converter::script::ScriptForm;
using ::testing::HasSubstr;
using ::testing::Not;

struct MarkerCase {
  const char* marked;
  const char* embedded;
  const char* file;
};

TEST(MarkerExpansion, BothFormsFromOneText) {
  const MarkerCase cases[] = {
      {"a;<cr/>b;", "a;b;", "a;\nb;"},
      {"a;<cr/> b;", "a;b;", "a;\n b;"},
      {"{<cr/><sp4/>x;<cr/>}", "{ x;}", "{\n    x;\n}"},
      {"<sp29/><sp3/>x", " x", std::string(32, ' ').append("x").c_str()},
      {"<cmt>// why</cmt><cr/>x;", " x;", "// why\nx;"},
      {"f();<RET/>g();<RET/>", "f();\ng();\n", "f();\ng();\n"},
      {"s = 'a        b    c  d';", "s = 'a b c d';", "s = 'a        b    c  d';"},
      // Not markers: a comparison, a blank run out of range, an unclosed comment.
      {"a<b;<sp30/><sp0/><cmt>", "a<b;<sp30/><sp0/><cmt>", "a<b;<sp30/><sp0/><cmt>"},
  };
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.marked);
    EXPECT_EQ(ExpandMarkers(c.marked, ScriptForm::kEmbedded, "\n"), c.embedded);
  }
  for (const MarkerCase& c : cases) {
    SCOPED_TRACE(c.marked);
    if (std::string(c.marked).rfind("<sp29/>", 0) == 0) continue;  // checked below
    EXPECT_EQ(ExpandMarkers(c.marked, ScriptForm::kFile, "\n"), c.file);
  }
  EXPECT_EQ(ExpandMarkers("<sp29/><sp3/>x", ScriptForm::kFile, "\n"), std::string(32, ' ') + "x");
  EXPECT_EQ(ExpandMarkers("a<cr/>b<RET/>", ScriptForm::kFile, "\r\n"), "a\r\nb\r\n");
}

TEST(MarkerExpansion, OverlongCommentStaysText) {
  std::string marked = "<cmt>//" + std::string(2100, 'x') + "</cmt>";
  EXPECT_EQ(ExpandMarkers(marked, ScriptForm::kFile, "\n").substr(0, 5), "<cmt>");
}

converter::JsSwitches Js(const char* value) {
  converter::Options cmd;
  converter::ApplyJsValue(value, cmd);
  return cmd.js;
}

TEST(PopupScript, StoredAsPiecesWithMarkers) {
  std::vector<std::string_view> pieces = converter::script::PopupPieces();
  ASSERT_GE(pieces.size(), 18u);
  for (std::string_view piece : pieces) {
    if (piece.empty()) continue;
    EXPECT_EQ(piece.find('\n'), std::string_view::npos);
    EXPECT_EQ(piece.substr(piece.size() - 6), "<RET/>");
  }
}

TEST(PopupScript, EmbeddedFormIsOneLinePerPieceWithoutCommentsOrIndentation) {
  std::string script =
      converter::script::BuildPopupScript(Js("80F"), ScriptForm::kEmbedded, "\r\n");
  size_t pieces = 0;
  for (std::string_view piece : converter::script::PopupPieces()) pieces += !piece.empty();
  size_t lines = 0;
  for (size_t at = script.find("\r\n"); at != std::string::npos; at = script.find("\r\n", at + 2))
    ++lines;
  EXPECT_EQ(lines, pieces);
  EXPECT_THAT(script, Not(HasSubstr("<cr/>")));
  EXPECT_THAT(script, Not(::testing::ContainsRegex("<sp[0-9]+/>")));
  EXPECT_THAT(script, Not(HasSubstr("<cmt>")));
  EXPECT_THAT(script, Not(HasSubstr("//")));
  // Eight, four and two blanks fold to one, once each: at most two remain.
  EXPECT_THAT(script, Not(HasSubstr("   ")));

  std::string file = converter::script::BuildPopupScript(Js("80F"), ScriptForm::kFile, "\n");
  EXPECT_THAT(file, HasSubstr("\n  pop.opt.idpopup = 1;\n"));
  EXPECT_THAT(file, HasSubstr("\n// Pop-up script"));
  EXPECT_GT(file.size(), script.size());
}

struct OptionCase {
  const char* js;
  int idpopup, mailpopup, refpopup, respopup, schpanel;
};

TEST(PopupScript, OptionLinesFollowTheSwitches) {
  const OptionCase cases[] = {
      {"80F", 1, 1, 1, 1, 0}, {"880", 0, 0, 0, 0, 1}, {"808", 0, 0, 0, 1, 0},
      {"804", 0, 1, 0, 0, 0}, {"802", 1, 0, 0, 0, 0}, {"801", 0, 0, 1, 0, 0},
      {"88F", 1, 1, 1, 1, 1},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.js);
    std::string script = converter::script::BuildPopupScript(Js(c.js), ScriptForm::kEmbedded, "\n");
    auto line = [](const char* name, int on) {
      return std::string("pop.opt.") + name + " = " + (on ? "1" : "0") + ";";
    };
    EXPECT_THAT(script, HasSubstr(line("idpopup", c.idpopup)));
    EXPECT_THAT(script, HasSubstr(line("mailpopup", c.mailpopup)));
    EXPECT_THAT(script, HasSubstr(line("refpopup", c.refpopup)));
    EXPECT_THAT(script, HasSubstr(line("respopup", c.respopup)));
    EXPECT_THAT(script, HasSubstr(line("schpanel", c.schpanel)));
    EXPECT_THAT(script, HasSubstr("pop.opt.opa = 1;"));
  }
  EXPECT_FALSE(converter::script::WantsPopupScript(Js("000")));
  EXPECT_FALSE(converter::script::WantsPopupScript(Js("840")));
  EXPECT_TRUE(converter::script::WantsPopupScript(Js("001")));
}

TEST(PopupScript, PagesInOtherLanguagesGetEnglishTexts) {
  std::string script = converter::script::BuildPopupScript(Js("88F"), ScriptForm::kEmbedded, "\n");
  EXPECT_THAT(script, HasSubstr("(他に同じIDの投稿はありません)"));
  std::string english = converter::script::ForPageLanguage(script, 2);
  EXPECT_THAT(english, HasSubstr("\"(Not found)\""));
  EXPECT_THAT(english, HasSubstr("\"(There is no response to this message.)\""));
  EXPECT_THAT(english, HasSubstr("value=\"Search\""));
  EXPECT_THAT(english, HasSubstr("window.status=\" Search results \"+cnt+\" / \"+l)"));
  EXPECT_THAT(english, HasSubstr("window.status=\" An error occured in regexp search.\""));
  // Nothing Japanese is left for a big5 or English page.
  for (char c : english) EXPECT_EQ(static_cast<unsigned char>(c) & 0x80, 0) << english;
  EXPECT_EQ(converter::script::ForPageLanguage(script, 0), script);
}

TEST(PopupScript, AsciiEscapes) {
  EXPECT_EQ(converter::script::AsciiEscaped("a※b"), "a\\u203Bb");
  EXPECT_EQ(converter::script::AsciiEscaped("検索"), "\\u691C\\u7D22");
  EXPECT_EQ(converter::script::AsciiEscaped("😀"), "\\uD83D\\uDE00");
  EXPECT_EQ(converter::script::AsciiEscaped("\xE6\x20"), "\\uFFFD ");
}

// node parses each form as a script: a statement that the joined lines cut
// in two, or an unbalanced brace, fails here rather than in a page.
TEST(PopupScript, EveryFormIsValidJavaScript) {
  if (std::system("node --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "node is missing";
  auto dir = std::filesystem::temp_directory_path() / ("script_forms_" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  struct Form {
    const char* name;
    std::string text;
  };
  const Form forms[] = {
      {"embedded.js",
       converter::script::BuildPopupScript(Js("88F"), ScriptForm::kEmbedded, "\r\n")},
      {"file.js", converter::script::BuildPopupScript(Js("88F"), ScriptForm::kFile, "\r\n")},
      {"english.js",
       converter::script::ForPageLanguage(
           converter::script::BuildPopupScript(Js("88F"), ScriptForm::kEmbedded, "\n"), 2)},
      {"ascii.js", converter::script::AsciiEscaped(
                       converter::script::BuildPopupScript(Js("80F"), ScriptForm::kFile, "\n"))},
      {"be.js", converter::script::BePageScript("http://x.example/test/read.cgi/be/1/", "\n")},
  };
  for (const Form& form : forms) {
    std::string path = (dir / form.name).string();
    ASSERT_TRUE(common::ReplaceFileAtomically(path, form.text));
    EXPECT_EQ(std::system(("node --check " + path).c_str()), 0) << form.name;
  }
  std::filesystem::remove_all(dir);
}

TEST(BePageScript, AddressKeepsOnlyAddressSigns) {
  std::string script = converter::script::BePageScript("http://x.example/a';alert(1);'/1/", "\n");
  EXPECT_THAT(script, HasSubstr("var beBase = 'http://x.example/aalert1/1/';"));
  EXPECT_THAT(converter::script::BeLevelButtons("\n"),
              HasSubstr("<input type=button value=\"Lv.2\" onclick=\"grep('[234]')\">"));
}

}  // namespace
