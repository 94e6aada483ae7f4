// The command line: packed values, option recognition, paths.
#include <filesystem>
#include <fstream>
#include <functional>

#include <gtest/gtest.h>

#include "converter/options/command_line.h"
#include "converter/options/help_pages.h"
#include "converter/options/packed_values.h"

namespace converter {
namespace {

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() / ("shoin_options_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir_ / "dat");
    std::ofstream(dir_ / "dat" / "1234567890.dat") << "a<>b<>2008/01/07(月) 14:10:06<>c<>t\n";
    context_.currentFolder = dir_.string();
    context_.desktop = (dir_ / "Desktop").string();
    context_.documents = (dir_ / "Documents").string();
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  ParseResult Parse(std::vector<std::string> args) {
    cmd_ = Options{};
    cmd_.programFolder = dir_.string() + "/";
    return ParseCommandLine(args, context_, cmd_);
  }
  std::string Dat() const { return (dir_ / "dat" / "1234567890.dat").string(); }

  std::filesystem::path dir_;
  PathContext context_;
  Options cmd_;
};

TEST_F(CommandLineTest, DecodesYagurasCallFieldByField) {
  ParseResult r = Parse({"\"" + Dat() + "\"", "\"" + (dir_ / "dat").string() + "\"", "/js=80F",
                         "/m=E2058000", "/o=E01B1E", "/v"});
  ASSERT_TRUE(r.run) << r.messages;
  const JsSwitches& js = cmd_.js;
  EXPECT_TRUE(js.enabled);
  EXPECT_TRUE(js.method);
  EXPECT_FALSE(js.target);
  EXPECT_FALSE(js.txtsearch);
  EXPECT_FALSE(js.belink);
  EXPECT_TRUE(js.respopup && js.mailpopup && js.idpopup && js.refpopup);
  const MSwitches& m = cmd_.m;
  EXPECT_TRUE(m.namae);
  EXPECT_TRUE(m.toukoubi);
  EXPECT_TRUE(m.maildshow);
  EXPECT_FALSE(m.titlehide);
  EXPECT_EQ(m.hizuke, 0);
  EXPECT_TRUE(m.size);
  EXPECT_FALSE(m.notdelsp);
  EXPECT_FALSE(m.delsptt || m.delnamesp || m.retcodeLF || m.notreplaceresanchor);
  EXPECT_FALSE(m.link_backtoboard);
  EXPECT_TRUE(m.link_moto);
  EXPECT_FALSE(m.link_redirect);
  EXPECT_TRUE(m.link_back);
  EXPECT_TRUE(m.link_numlink);
  EXPECT_EQ(m.link, 0);
  EXPECT_FALSE(m.credit);
  EXPECT_FALSE(m.forcemspfont || m.readcgi7xx || m.link_omit_atagstr);
  EXPECT_EQ(m.limitoflinenumber, 0);
  EXPECT_FALSE(m.omitdldd || m.writehtmlindextag || m.anchorext || m.sssp2img);
  EXPECT_EQ(m.output_kanjicode, 0);
  EXPECT_TRUE(m.nametargetR);
  const OSwitches& o = cmd_.o;
  EXPECT_TRUE(o.noIdxInf && o.noBrowserBoardFiles && o.noCurrentBoardFiles);
  EXPECT_FALSE(o.ignoreLogCheck);
  EXPECT_FALSE(o.noExistingOutputCheck);
  EXPECT_EQ(o.inputKanjicode, 0);
  EXPECT_EQ(o.boardInfoPriority, 0x1B);
  EXPECT_EQ(o.headKb, 30);
  EXPECT_EQ(cmd_.v, ReportMode::kV);
  EXPECT_EQ(cmd_.inputKind, InputKind::kFile);
  EXPECT_EQ(cmd_.inputPath, Dat());
  EXPECT_EQ(cmd_.outputFolder, (dir_ / "dat").string() + "/");
}

TEST_F(CommandLineTest, DefaultsBeforeParsing) {
  ASSERT_TRUE(Parse({Dat()}).run);
  Options fromDefaultValue;
  ApplyMValue("810D90000", Mode::kStandard, fromDefaultValue);
  const MSwitches& a = cmd_.m;
  const MSwitches& b = fromDefaultValue.m;
  EXPECT_EQ(a.namae, b.namae);
  EXPECT_EQ(a.notdelsp, b.notdelsp);
  EXPECT_EQ(a.link_backtoboard, b.link_backtoboard);
  EXPECT_EQ(a.link_moto, b.link_moto);
  EXPECT_EQ(a.link_back, b.link_back);
  EXPECT_EQ(a.link_numlink, b.link_numlink);
  EXPECT_EQ(a.credit, b.credit);
  EXPECT_EQ(a.nametargetR, b.nametargetR);
  EXPECT_FALSE(a.toukoubi || a.size || a.link_redirect);
  EXPECT_EQ(cmd_.o.word, 0x001B1Eu);
  EXPECT_FALSE(cmd_.js.enabled);
  EXPECT_FALSE(cmd_.i.enabled);
  EXPECT_EQ(cmd_.maxPosts, 999999);
  EXPECT_EQ(cmd_.outputFolder, (dir_ / "dat").string() + "/");  // the input's folder
}

struct OptionCase {
  const char* name;
  std::vector<std::string> options;
  std::function<void(const Options&)> check;
};

TEST_F(CommandLineTest, OptionTable) {
  const std::vector<OptionCase> cases = {
      {"MPaddedToNineDigits",
       {"/m=E2058000"},
       [](const Options& c) {
         Options full;
         ApplyMValue("E20580000", Mode::kStandard, full);
         EXPECT_EQ(c.m.size, full.m.size);
         EXPECT_EQ(c.m.link_numlink, full.m.link_numlink);
         EXPECT_EQ(c.m.nametargetR, full.m.nametargetR);
         EXPECT_TRUE(c.m.toukoubi);
       }},
      {"MOneIsTheLowestBitOfDigitOne",
       {"/m=1"},
       [](const Options& c) {
         EXPECT_FALSE(c.m.namae);  // "1" pads to 100000000: digit 1 is 1, bit 4
         EXPECT_TRUE(c.m.titlehide);
         EXPECT_FALSE(c.m.notdelsp || c.m.link_backtoboard || c.m.link_moto || c.m.credit);
         EXPECT_TRUE(c.m.nametargetR);
       }},
      {"MEightSetsNamae",
       {"/m=8"},
       [](const Options& c) {
         EXPECT_TRUE(c.m.namae);
         EXPECT_FALSE(c.m.toukoubi || c.m.titlehide || c.m.link_moto);
       }},
      {"MBareTurnsBoardLinksOff",
       {"/m"},
       [](const Options& c) {
         EXPECT_FALSE(c.m.link_backtoboard);
         EXPECT_FALSE(c.m.link_moto);
         EXPECT_TRUE(c.m.link_back);
         EXPECT_TRUE(c.m.namae);
       }},
      {"MLineLimitAndEncoding",
       {"/m=000000F86"},
       [](const Options& c) {
         EXPECT_EQ(c.m.limitoflinenumber, 31);
         EXPECT_FALSE(c.m.omitdldd);
         EXPECT_EQ(c.m.output_kanjicode, 3);
         EXPECT_TRUE(c.m.nametargetR);
       }},
      {"MNametargetBitInvertedInStandardMode",
       {"/m=000000001"},
       [](const Options& c) { EXPECT_FALSE(c.m.nametargetR); }},
      {"MTxtsearchEnablesScripts",
       {"/m=000008"},
       [](const Options& c) {
         EXPECT_TRUE(c.js.txtsearch);
         EXPECT_TRUE(c.js.enabled);
       }},
      {"JsKeepsTxtsearchAgainstM",
       {"/js=80F", "/m=000008"},
       [](const Options& c) { EXPECT_FALSE(c.js.txtsearch); }},
      {"OCountsFromTheRight",
       {"/o=1E"},
       [](const Options& c) {
         EXPECT_EQ(c.o.headKb, 30);
         EXPECT_EQ(c.o.boardInfoPriority, 0);
         EXPECT_FALSE(c.o.noIdxInf || c.o.ignoreLogCheck);
       }},
      {"OInputEncoding", {"/o=02001E"}, [](const Options& c) { EXPECT_EQ(c.o.inputKanjicode, 2); }},
      {"Js800LeavesScriptsOff",
       {"/js=800"},
       [](const Options& c) {
         EXPECT_FALSE(c.js.enabled);
         EXPECT_TRUE(c.js.method);
       }},
      {"Js8LeavesScriptsOff", {"/js=8"}, [](const Options& c) { EXPECT_FALSE(c.js.enabled); }},
      {"JsBareTurnsPopupsOn",
       {"/js"},
       [](const Options& c) {
         EXPECT_TRUE(c.js.enabled && c.js.method && c.js.target && c.js.belink);
         EXPECT_TRUE(c.js.respopup && c.js.refpopup);
         EXPECT_FALSE(c.js.txtsearch);
       }},
      {"UrActsAsUInStandardMode",
       {"/ur"},
       [](const Options& c) {
         EXPECT_TRUE(c.u);
         EXPECT_FALSE(c.ur);
       }},
      {"UnknownTwoLetterActsAsFirstLetter", {"/cx"}, [](const Options& c) { EXPECT_TRUE(c.c); }},
      {"CtIsTwoLetters",
       {"/ct"},
       [](const Options& c) {
         EXPECT_TRUE(c.ct);
         EXPECT_FALSE(c.c);
       }},
      {"SpActsAsSOutsideTextMode",
       {"/sp"},
       [](const Options& c) {
         EXPECT_TRUE(c.s);
         EXPECT_FALSE(c.sp);
       }},
      {"IndexByNameWithFile",
       {"/i=nd:\"hoge.htm\""},
       [](const Options& c) {
         EXPECT_TRUE(c.i.enabled);
         EXPECT_EQ(c.i.sortKey, 'n');
         EXPECT_EQ(c.i.order, 'd');
         EXPECT_EQ(c.i.fileName, "hoge.htm");
         EXPECT_FALSE(c.i.copyBackground);
       }},
      {"IndexDigitsOff",
       {"/i=00"},
       [](const Options& c) {
         EXPECT_EQ(c.i.digits[0], 0);
         EXPECT_EQ(c.i.digits[1], 0);
         EXPECT_EQ(c.i.digits[8], 1);
         EXPECT_EQ(c.i.sortKey, 'l');
       }},
      {"IndexBareDecoratedWithBackground",
       {"/I:ru1"},
       [](const Options& c) {
         EXPECT_TRUE(c.i.decorated);
         EXPECT_TRUE(c.i.copyBackground);
         EXPECT_EQ(c.i.sortKey, 'r');
         EXPECT_EQ(c.i.order, 'u');
         EXPECT_EQ(c.i.digits[0], 1);
       }},
      {"IndexUnacceptableDigitSkipsAPosition",
       {"/i=x2"},
       [](const Options& c) {
         EXPECT_EQ(c.i.digits[0], 1);  // default kept
         EXPECT_EQ(c.i.digits[9], 2);  // only position 10 takes a 2
       }},
      {"RangeOpenMaximum",
       {"/r=100-"},
       [](const Options& c) {
         EXPECT_EQ(c.minPosts, 100);
         EXPECT_EQ(c.maxPosts, 999999);
       }},
      {"RangeOpenMinimum",
       {"/r=-50"},
       [](const Options& c) {
         EXPECT_EQ(c.minPosts, 1);
         EXPECT_EQ(c.maxPosts, 50);
       }},
      {"RangeWithoutDashIsMinimum",
       {"/r=20"},
       [](const Options& c) {
         EXPECT_EQ(c.minPosts, 20);
         EXPECT_EQ(c.maxPosts, 999999);
       }},
      {"FolderLettersInOrder",
       {"/a=Fsbnfc"},
       [](const Options& c) {
         EXPECT_EQ(c.folderLetters, "Fsb");
         EXPECT_TRUE(c.oneFolder);
       }},
      {"SubfoldersOneIndexOneFolder",
       {"/s=1c"},
       [](const Options& c) { EXPECT_TRUE(c.s && c.sOneIndex && c.oneFolder); }},
      {"ReportModes", {"/vf"}, [](const Options& c) { EXPECT_EQ(c.v, ReportMode::kVf); }},
      {"ForcedKind", {"/f=4"}, [](const Options& c) { EXPECT_EQ(c.forcedKind, '4'); }},
      {"PartsDigitsOnly", {"/d=100x"}, [](const Options& c) { EXPECT_EQ(c.partSize, 100); }},
      {"BareTitleFormat",
       {"/t"},
       [](const Options& c) { EXPECT_EQ(c.fileNameFormat, "%threadtitle%"); }},
      {"MoveWithRelatedFiles",
       {"/mv=\"/tmp/old\"::r"},
       [](const Options& c) {
         EXPECT_TRUE(c.move && c.moveRelated);
         EXPECT_EQ(c.movePath, "/tmp/old/");
       }},
      {"MoveToTheOutputFolderWithRelatedFiles",
       {"/mv::r"},
       [](const Options& c) {
         EXPECT_TRUE(c.move && c.moveRelated);
         EXPECT_EQ(c.movePath, "");
       }},
      {"MoveBareSeparatorThenRelatedFiles",
       {"/mv=::r"},
       [](const Options& c) {
         EXPECT_TRUE(c.move && c.moveRelated);
         EXPECT_EQ(c.movePath, "");
       }},
      {"MoveWithoutPath",
       {"/mv"},
       [](const Options& c) {
         EXPECT_TRUE(c.move);
         EXPECT_FALSE(c.moveRelated);
         EXPECT_EQ(c.movePath, "");
       }},
      {"BareQueryReadsTheFile",
       {"/q"},
       [](const Options& c) { EXPECT_TRUE(c.query && c.queryFromFile); }},
      {"QueryText",
       {"/q=\"+VIP 雑談\""},
       [](const Options& c) { EXPECT_EQ(c.queryText, "+VIP 雑談"); }},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = c.options;
    args.insert(args.begin(), Dat());
    ParseResult r = Parse(args);
    ASSERT_TRUE(r.run) << r.messages;
    c.check(cmd_);
  }
}

TEST_F(CommandLineTest, DateFilterPatternsOfTheHelpPage) {
  struct Case {
    const char* value;
    const char* from;
    const char* to;
    char basis;
  };
  const Case cases[] = {
      {"20060101-20070731,f", "20060101******", "20070731******", 'f'},
      {"-Y2001,l", "**************", "2001**********", 'l'},
      {"h1730-,m", "********1730**", "**************", 'm'},
      {"h235930-000030", "********235930", "********000030", 'f'},
      {"M01D01,c", "****0101******", "****0101******", 'c'},
      {"20060101-h12", "20060101******", "2006010112****", 'f'},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    DateFilter ts;
    ApplyDateFilter(c.value, ts);
    EXPECT_EQ(ts.from, c.from);
    EXPECT_EQ(ts.to, c.to);
    EXPECT_EQ(ts.basis, c.basis);
  }
}

TEST_F(CommandLineTest, RefusalsAndScreens) {
  struct Case {
    std::vector<std::string> args;
    int exitCode;
    const char* expected;  // in the messages or the screen
  };
  const std::vector<Case> cases = {
      {{}, 1, "使用できるすべてのオプションを表示するにはshoin /hと入力してください"},
      {{"/h"}, 1, "/ur/w/z] infile [outdir]\n"},
      {{"-hoge"}, 1, "/ur/w/z] infile [outdir]\n"},
      {{"-x1"}, 1, "-x1 は無効なオプションです.\n"},
      {{"/b"}, 1, "/b は無効なオプションです.\n"},
      {{"/o"}, 1, "/o オプションの指定が無効です.\n"},
      {{"/t="}, 1, "/t: 出力ファイル名の書式指定がありません．\n"},
      {{"/js-h"}, 1, "例えば、/js=84F のように指定してください。"},
      {{"/o-h"}, 1, "例えば、/o=E01B1E のように指定してください。"},
      {{"/m-h"}, 1, "/m オプションの詳細 /m=(9桁の16進数)\n"},
      {{"/ts-H"}, 1, "/ts=h235930-000030\n"},
      {{"/v"}, 1, "ファイル名を指定してください.\n"},
      {{"/p=skin", "x.log"}, 1, "logファイルには対応しておりません。すみません。\n"},
      {{"missing.dat"}, 1, "missing.dat:入力ファイルを開けません。\n"},
      {{"nofolder/x.dat"}, 1, "nofolder/:ディレクトリが見つかりません。\n"},
      {{"nofolder/*.dat"}, 1, "nofolder/:ディレクトリが見つかりません。\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    ParseResult r = Parse(c.args);
    EXPECT_FALSE(r.run);
    EXPECT_EQ(r.exitCode, c.exitCode);
    EXPECT_NE((r.screen + r.messages).find(c.expected), std::string::npos)
        << r.screen << r.messages;
  }
}

TEST_F(CommandLineTest, AnAAbsolutePathIsNoOption) {
  ParseResult r = Parse({Dat(), "/js=80F"});
  ASSERT_TRUE(r.run) << r.messages;
  EXPECT_EQ(cmd_.mode, Mode::kStandard);
}

TEST_F(CommandLineTest, PositionalArguments) {
  ParseResult r = Parse({"dat/./../dat/1234567890.dat", "out", "ignored"});
  ASSERT_TRUE(r.run) << r.messages;
  EXPECT_EQ(cmd_.inputPath, Dat());
  EXPECT_EQ(cmd_.outputFolder, (dir_ / "out").string() + "/");
  EXPECT_TRUE(std::filesystem::is_directory(dir_ / "out"));  // created

  r = Parse({"dat/*.dat", "NULL"});
  ASSERT_TRUE(r.run);
  EXPECT_EQ(cmd_.inputKind, InputKind::kPattern);
  EXPECT_TRUE(cmd_.outputNull);

  r = Parse({"NULL", "/d=100", "/mv"});
  ASSERT_TRUE(r.run);
  EXPECT_TRUE(cmd_.inputNull);
  EXPECT_EQ(cmd_.partSize, 0);
  EXPECT_FALSE(cmd_.move);

  std::filesystem::create_directories(dir_ / "Desktop" / "logs");
  r = Parse({"%desktop%/logs", "/c"});
  ASSERT_TRUE(r.run) << r.messages;
  EXPECT_EQ(cmd_.inputKind, InputKind::kFolder);
  EXPECT_EQ(cmd_.inputPath, (dir_ / "Desktop" / "logs").string() + "/");
  EXPECT_EQ(cmd_.outputFolder, dir_.string() + "/");
}

TEST_F(CommandLineTest, PathsBeyondTheShortLimitAreAccepted) {
  // Deep folders whose full path is far above 255 characters.
  std::filesystem::path deep = dir_;
  for (int k = 0; k < 8; ++k) deep /= std::string(40, 'a' + k);
  std::filesystem::create_directories(deep);
  std::ofstream(deep / "1234567890.dat") << "x\n";
  ParseResult r = Parse({(deep / "1234567890.dat").string()});
  ASSERT_TRUE(r.run) << r.messages;
  EXPECT_GT(cmd_.inputPath.size(), 300u);

  std::string tooLong = "/" + std::string(5000, 'x') + ".dat";
  r = Parse({tooLong});
  EXPECT_FALSE(r.run);
  EXPECT_NE(r.messages.find(":入力ファイルを開けません。\n"), std::string::npos);
}

TEST_F(CommandLineTest, OutputFolderThatCannotBeCreated) {
  // A folder cannot be made inside a file.
  ParseResult r = Parse({Dat(), Dat() + "/sub"});
  EXPECT_FALSE(r.run);
  EXPECT_EQ(r.exitCode, 1);
  EXPECT_NE(r.messages.find("/sub/  :フォルダを作成できません.\r\n"), std::string::npos)
      << r.messages;
}

TEST_F(CommandLineTest, FolderLettersWithoutAnyLetterWarn) {
  ParseResult r = Parse({Dat(), "/a=zz"});
  EXPECT_TRUE(r.run);
  EXPECT_NE(r.messages.find("注意:/a オプションの指定が無効です。\n"), std::string::npos);
}

TEST(HelpPages, EveryPageExistsAndShowsItsSyntax) {
  for (const char* option : {"a", "f", "i", "js", "m", "mv", "o", "q", "s", "t", "ts"}) {
    SCOPED_TRACE(option);
    std::string page = HelpPage(option, Mode::kStandard);
    EXPECT_NE(page.find(std::string("/") + option + " オプションの詳細"), std::string::npos);
    EXPECT_NE(page.find("例えば"), std::string::npos);
  }
  EXPECT_NE(HelpPage("m", Mode::kSkin).find("常に0を指定してください。"), std::string::npos);
  EXPECT_NE(HelpPage("m", Mode::kPlainText).find("/m=(6桁の16進数)\n"), std::string::npos);
  EXPECT_EQ(HelpPage("x", Mode::kStandard), "");
}

}  // namespace
}  // namespace converter
