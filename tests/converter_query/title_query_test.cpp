// The title query: normalisation, terms, the accept rule, the query's
// sources and messages, and a count over real thread lists checked against
// an independent script that works on Shift_JIS bytes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/query/query_normalise.h"
#include "converter/query/title_query.h"

namespace converter::query {
namespace {

namespace fs = std::filesystem;

TEST(QueryNormalise, WidensUpperCasesAndDropsBlanks) {
  struct Case {
    const char* text;
    const char* normalised;
  } cases[] = {
      {"test", "ＴＥＳＴ"},
      {"Te st", "ＴＥＳＴ"},
      {"ｔｅ　ｓｔ", "ＴＥＳＴ"},
      {"ＴＥＳＴ", "ＴＥＳＴ"},
      {"C++ 1", "Ｃ＋＋１"},
      {"a\\b~", "Ａ￥Ｂ～"},
      {"ｶﾞｷﾞｰ｡", "カ゛キ゛ー。"},  // a voiced half-width kana stays two characters
      {"ｶﾟ", "カ゜"},
      {"ひらがなカタカナ", "ひらがなカタカナ"},  // kana type is not folded
      {"①㈱", "①㈱"},                            // nor compatibility forms
      {"αβ", "αβ"},
      {"a\tb\x01", "ＡＢ"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NormaliseForQuery(c.text), c.normalised) << c.text;
  }
  // Malformed UTF-8 does not stop the walk.
  EXPECT_EQ(NormaliseForQuery(std::string("a\xE3") + "b"), "Ａ\xEF\xBF\xBDＢ");
}

TEST(QueryNormalise, DecodesTheEntitiesOfALog) {
  EXPECT_EQ(DecodeEntities("&gt;&gt;1 &amp; &lt;b&gt; &quot;x&quot; &#39;&#x41;"),
            ">>1 & <b> \"x\" 'A");
  EXPECT_EQ(DecodeEntities("AT&T &unknown; &#xD800; &"), "AT&T &unknown; &#xD800; &");
}

TEST(TitleQuery, AcceptsTitlesAsTheTermsAsk) {
  struct Case {
    const char* query;
    const char* title;
    bool passes;
  } cases[] = {
      // Width, case and blanks are ignored on both sides.
      {"ｔｅｓｔ", "a test thread", true},
      {"ｔｅｓｔ", "A TEST THREAD", true},
      {"ｔｅｓｔ", "ａ ｔｅｓｔ", true},
      {"ｔｅｓｔ", "te st", true},
      {"ｔｅｓｔ", "tset", false},
      {"ﾃｽﾄ", "テスト", true},
      {"テスト", "ﾃｽﾄ", true},
      {"ｶﾞ", "カ゛", true},
      {"ガ", "ｶﾞ", false},  // a voiced half-width kana is two characters
      {"ぱ", "パ", false},  // hiragana and katakana differ
      // Alternatives: either.
      {"apple banana", "apple pie", true},
      {"apple banana", "banana split", true},
      {"apple banana", "cherry", false},
      // Required terms alone: all of them.
      {"+a +b", "a and b", true},
      {"+apple +banana", "apple", false},
      // Required with alternatives: every required one and at least one alternative.
      {"+apple banana cherry", "apple banana", true},
      {"+apple banana cherry", "apple cherry", true},
      {"+apple banana cherry", "apple", false},
      {"+apple banana cherry", "banana cherry", false},
      // Excluded terms.
      {"-x", "anything", true},
      {"-x", "has x", false},
      {"-x -y", "neither", true},
      {"apple -x", "apple", true},
      {"apple -x", "apple x", false},
      {"apple -x", "pear", false},
      {"+apple -x", "apple", true},
      // Quotes: a quoted minus still excludes, a quoted blank is searched as nothing.
      {"\"-x\"", "x marks", false},
      {"\"-x\"", "no mark", true},
      {"-\"x y\"", "x  y", false},
      {"\"te st\"", "test", true},
      // Signs alone search nothing and are left out.
      {"- apple", "apple", true},
      {"+ apple", "pear", false},
      // The ideographic blank separates terms.
      {"apple　banana", "banana", true},
      // Entities of the log are searched as a reader sees them.
      {"&", "A &amp; B", true},
      {"amp", "A &amp; B", false},
      {">>1", "&gt;&gt;1にかかる", true},
  };
  for (const Case& c : cases) {
    std::optional<TitleQuery> query = TitleQuery::Parse(c.query);
    ASSERT_TRUE(query) << c.query;
    EXPECT_EQ(query->Passes(c.title), c.passes) << c.query << " / " << c.title;
  }
}

TEST(TitleQuery, SplitsIntoAtMostThirtyTerms) {
  std::string text;
  for (int k = 1; k <= 31; ++k)
    text += "w" + std::string(1, static_cast<char>('A' + k % 26)) + std::to_string(k) + "z ";
  std::optional<TitleQuery> query = TitleQuery::Parse(text);
  ASSERT_TRUE(query);
  EXPECT_EQ(query->terms().size(), kMostTerms);
  EXPECT_TRUE(query->Passes("wE30z"));
  EXPECT_FALSE(query->Passes("wF31z"));  // the 31st term is ignored

  query = TitleQuery::Parse("+a b -c");
  ASSERT_TRUE(query);
  EXPECT_TRUE(query->mixed());
  ASSERT_EQ(query->terms().size(), 3u);
  EXPECT_EQ(query->terms()[0].kind, TermKind::kRequired);
  EXPECT_EQ(query->terms()[0].text, "Ａ");
  EXPECT_EQ(query->terms()[2].kind, TermKind::kExcluded);
  EXPECT_FALSE(TitleQuery::Parse("+b -c")->mixed());

  EXPECT_FALSE(TitleQuery::Parse(""));
  EXPECT_FALSE(TitleQuery::Parse("  \"\"  - + 　"));
}

class QuerySource : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("shoin_query_" + std::to_string(getpid()));
    fs::create_directories(dir_);
    cmd_.programFolder = dir_.string() + "/";
    cmd_.query = true;
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::optional<TitleQuery> Prepare() {
    std::optional<TitleQuery> query;
    {
      Reporter reporter(false, (dir_ / "run.log").string());
      query = PrepareQuery(cmd_, reporter);
    }
    said_ = common::Cp932ToUtf8(common::ReadWholeFile((dir_ / "run.log").string()).value_or(""));
    fs::remove(dir_ / "run.log");
    return query;
  }

  fs::path dir_;
  Options cmd_;
  std::string said_;
};

TEST_F(QuerySource, TakesTheCommandLineOrTheFirstLineOfQueryTxt) {
  cmd_.queryText = "+VIP 雑談";
  std::optional<TitleQuery> query = Prepare();
  ASSERT_TRUE(query);
  EXPECT_EQ(said_, "検索式：+VIP 雑談\r\n");

  cmd_.queryFromFile = true;
  query = Prepare();
  EXPECT_FALSE(query);
  EXPECT_EQ(said_, "/q  :query.txtが存在しないか、読み込みに失敗しました。\r\n");

  // Shift_JIS, first line only.
  std::ofstream(dir_ / "query.txt", std::ios::binary)
      << common::Utf8ToCp932("ｶﾞｷﾞ -禁止\r\nsecond line\r\n");
  query = Prepare();
  ASSERT_TRUE(query);
  EXPECT_EQ(said_, "検索式：ｶﾞｷﾞ -禁止\r\n");
  EXPECT_TRUE(query->Passes("ｶﾞｷﾞが来た"));
  EXPECT_FALSE(query->Passes("second line"));

  std::ofstream(dir_ / "query.txt", std::ios::binary) << "\r\nnext\r\n";
  EXPECT_FALSE(Prepare());
  EXPECT_EQ(said_, "/q  :検索式またはquery.txtが無効です。\r\n");

  // A query without a searchable term is switched off with the same message.
  cmd_.queryFromFile = false;
  cmd_.queryText = "- +";
  EXPECT_FALSE(Prepare());
  EXPECT_NE(said_.find("/q  :検索式またはquery.txtが無効です。\r\n"), std::string::npos);
}

// Counts the accepted titles of the real thread lists here and with the
// independent script, which follows the rules on Shift_JIS bytes.
TEST(TitleQueryRealLists, CountsAgreeWithAnIndependentScript) {
  const fs::path realdata(TEST_REALDATA_DIR);
  if (!fs::is_directory(realdata)) GTEST_SKIP() << "real data folder " << realdata << " is absent";
  std::vector<std::string> lists;
  for (const auto& entry : fs::directory_iterator(realdata)) {
    if (fs::exists(entry.path() / "subject.txt")) lists.push_back((entry.path() / "subject.txt"));
  }
  ASSERT_FALSE(lists.empty());
  std::vector<std::string> titles;
  for (const std::string& list : lists) {
    std::string text = common::Cp932ToUtf8(common::ReadWholeFile(list).value_or(""));
    std::regex count(" ?\\(\\d+\\)$");
    for (size_t at = 0; at < text.size();) {
      size_t end = text.find('\n', at);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(at, end - at);
      at = end + 1;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t separator = line.find("<>");
      if (separator == std::string::npos) continue;
      titles.push_back(std::regex_replace(line.substr(separator + 2), count, ""));
    }
  }
  const char* queries[] = {"スレ", "+part -質問",      "c++ java", "VIP", "\"-スレ\"",
                           "ﾜﾛﾀ",  "+スレ 2ch 初心者", "ｗｗｗ",   ">",   "> -スレ"};
  const std::string script =
      std::string(TEST_SOURCE_DIR) + "/tests/converter_query/count_matching_titles.py";
  for (const char* text : queries) {
    SCOPED_TRACE(text);
    std::optional<TitleQuery> query = TitleQuery::Parse(text);
    ASSERT_TRUE(query);
    int ours = 0;
    for (const std::string& title : titles) ours += query->Passes(title) ? 1 : 0;
    std::string command = "python3 '" + script + "' '" + std::string(text) + "'";
    for (const std::string& list : lists) command += " '" + list + "'";
    std::FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[64] = {};
    ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_EQ(ours, std::atoi(line));
    EXPECT_GT(ours, 0);
  }
}

}  // namespace
}  // namespace converter::query
