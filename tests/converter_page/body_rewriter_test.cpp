#include "converter/page/body_rewriter.h"

#include <gtest/gtest.h>

namespace converter::page {
namespace {

struct RewriteCase {
  const char* name;
  std::string input;
  std::string expected;
  BodyRules rules;
};

BodyRules Rules(void (*change)(BodyRules&) = nullptr) {
  BodyRules rules;
  if (change) change(rules);
  return rules;
}

class RewriteTable : public ::testing::TestWithParam<RewriteCase> {};

TEST_P(RewriteTable, WritesExpectedMarkup) {
  const RewriteCase& c = GetParam();
  AnchorContext anchors;
  anchors.postCount = 100;
  EXPECT_EQ(RewriteField(c.input, FieldKind::kBody, c.rules, anchors), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Body, RewriteTable,
    ::testing::Values(
        RewriteCase{"BoardAnchorBecomesInPageLink",
                    "<a href=\"../test/read.cgi/x/1/5\" target=\"_blank\">&gt;&gt;5</a>",
                    "<a href=\"#R5\">&gt;&gt;5</a>", Rules()},
        RewriteCase{"AnchorWithoutR", "<a href=\"../test/read.cgi/x/1/5\">&gt;5</a>",
                    "<a href=\"#5\">&gt;5</a>", Rules([](BodyRules& r) { r.nametargetR = false; })},
        RewriteCase{"FullWidthAnchor", "<a href=\"x\">＞＞１２</a>",
                    "<a href=\"#R12\">＞＞１２</a>", Rules()},
        RewriteCase{"RangeKeepsItsText", "<a href=\"../test/read.cgi/x/1/5-7\">&gt;&gt;5-7</a>",
                    "<a href=\"#R5\">&gt;&gt;5-7</a>", Rules()},
        RewriteCase{"AnchorKeptWhenAsked", "<a href=\"../x/5\" target=\"_blank\">&gt;&gt;5</a>",
                    "<a href=\"../x/5\" target=\"_blank\">&gt;&gt;5</a>",
                    Rules([](BodyRules& r) { r.notreplaceresanchor = true; })},
        RewriteCase{"AnchorExtensionJoinsList", "<a href=\"x\">&gt;&gt;10</a>,12+14-,",
                    "<a href=\"#R10\">&gt;&gt;10,12+14</a>-,",
                    Rules([](BodyRules& r) { r.anchorext = true; })},
        RewriteCase{"UnclosedAnchorIsText", "<a href=\"x\">&gt;&gt;5", "&lt;a href=\"x\">&gt;&gt;5",
                    Rules()},
        RewriteCase{"LinkElevenDropsTags", "<a href=\"x\">&gt;&gt;5</a> http://a.example/",
                    "&gt;&gt;5 http://a.example/", Rules([](BodyRules& r) { r.link = 3; })},
        RewriteCase{"PlainAddress", "見て http://a.example/b?c=1&amp;d=2 ね",
                    "見て <a href=\"http://a.example/b?c=1&amp;d=2\" "
                    "target=\"_blank\">http://a.example/b?c=1&amp;d=2</a> ね",
                    Rules()},
        RewriteCase{"RawAmpersandIsEscapedInTheAddress", "http://a.example/b?c=1&d=2&amp;e=3",
                    "<a href=\"http://a.example/b?c=1&amp;d=2&amp;e=3\" "
                    "target=\"_blank\">http://a.example/b?c=1&d=2&amp;e=3</a>",
                    Rules()},
        RewriteCase{"RawAmpersandThroughTheRedirector", "http://a.example/?c=1&d=2",
                    "<a href=\"http://ime.example/a.example/?c=1&amp;d=2\" "
                    "target=\"_blank\">http://a.example/?c=1&d=2</a>",
                    Rules([](BodyRules& r) {
                      r.link_redirect = true;
                      r.redirectPrefix = "ime.example/";
                    })},
        // Tags with more attributes than are held in place, and risky words in any case.
        RewriteCase{"FiveAttributesKept", "<font color=red size=2 face=a color=b size=3>t</font>",
                    "<font color=red size=2 face=a color=b size=3>t</font>", Rules()},
        RewriteCase{"HandlerAfterFourAttributesEscaped",
                    "<font color=red size=2 face=a color=b onclick=x>t</font>",
                    "&lt;font color=red size=2 face=a color=b onclick=x&gt;t</font>", Rules()},
        RewriteCase{"AnchorWithFiveAttributes",
                    "<a href=\"../x/5\" target=\"_blank\" rel=a title=b name=c>&gt;&gt;5</a>",
                    "<a href=\"#R5\">&gt;&gt;5</a>", Rules()},
        RewriteCase{"UnsafeFifthAttributeOfALink",
                    "<a href=\"http://a/\" target=t rel=a title=b onclick=x>y</a>",
                    "&lt;a href=\"http://a/\" target=t rel=a title=b onclick=x&gt;y&lt;/a&gt;",
                    Rules()},
        RewriteCase{"StyleWordsInCapitals", "<span style=\"background:URL(x)\">t</span>",
                    "&lt;span style=\"background:URL(x)\"&gt;t</span>", Rules()},
        RewriteCase{"ScriptInCapitals", "<font face=\"JavaScript:x\">t</font>",
                    "&lt;font face=\"JavaScript:x\"&gt;t</font>", Rules()},
        RewriteCase{"TtpThroughTheRedirector", "ttp://a.example/?c=1&d=2",
                    "<a href=\"http://ime.example/a.example/?c=1&amp;d=2\" "
                    "target=\"_blank\">ttp://a.example/?c=1&d=2</a>",
                    Rules([](BodyRules& r) {
                      r.link_redirect = true;
                      r.redirectPrefix = "ime.example/";
                    })},
        RewriteCase{"TtpGetsItsH", "ttp://example/",
                    "<a href=\"http://example/\" target=\"_blank\">ttp://example/</a>", Rules()},
        RewriteCase{"TtpStaysTextWithLink01", "ttp://example/ http://e.example/",
                    "ttp://example/ <a href=\"http://e.example/\" "
                    "target=\"_blank\">http://e.example/</a>",
                    Rules([](BodyRules& r) { r.link = 1; })},
        RewriteCase{"NoExternalLinksWithLink10", "https://e.example/", "https://e.example/",
                    Rules([](BodyRules& r) { r.link = 2; })},
        RewriteCase{"AddressEndsBeforeEntity", "http://e.example/&gt;&gt;",
                    "<a href=\"http://e.example/\" target=\"_blank\">http://e.example/</a>&gt;&gt;",
                    Rules()},
        RewriteCase{
            "RedirectorForOtherHosts", "http://e.example/a http://pc11.2ch.net/a/",
            "<a href=\"http://ime.test/e.example/a\" target=\"_blank\">http://e.example/a</a> "
            "<a href=\"http://pc11.2ch.net/a/\" target=\"_blank\">http://pc11.2ch.net/a/</a>",
            Rules([](BodyRules& r) {
              r.link_redirect = true;
              r.redirectPrefix = "ime.test/";
            })},
        RewriteCase{"IconAddress", "sssp://img.2ch.net/ico/u_sii.gif <br> 本文",
                    "<img src=\"http://img.2ch.net/ico/u_sii.gif\"> <br> 本文",
                    Rules([](BodyRules& r) { r.sssp2img = true; })},
        RewriteCase{"ShortenedLinkText", "http://e.example/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
                    "<a href=\"http://e.example/aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\" "
                    "target=\"_blank\">http://e.example/aaaaaaaaaaaaaaaaaaaaaaa...</a><br>",
                    Rules([](BodyRules& r) { r.link_omit_atagstr = true; })},
        RewriteCase{"BoardMarkupKept", "<b>太字</b><br><font color=red>赤</font><hr><BR>",
                    "<b>太字</b><br><font color=red>赤</font><hr><BR>", Rules()},
        RewriteCase{"ServerNoticeKept",
                    "<div style=\"color:red;text-align:center;\">■ 格納</div><hr /><br />",
                    "<div style=\"color:red;text-align:center;\">■ 格納</div><hr /><br />",
                    Rules()},
        RewriteCase{"StyleThatCanFetchEscaped", "<div style=\"background:url(http://x/)\">x</div>",
                    "&lt;div style=\"background:url(http://x/)\"&gt;x</div>", Rules()},
        // Markup no board writes is shown as text, so no script can run.
        RewriteCase{"ScriptTagEscaped", "<script>alert(1)</script>",
                    "&lt;script&gt;alert(1)&lt;/script&gt;", Rules()},
        RewriteCase{"EventAttributeEscaped", "<img src=\"http://x/\" onerror=\"alert(1)\">",
                    "&lt;img src=\"http://x/\" onerror=\"alert(1)\"&gt;", Rules()},
        RewriteCase{"FontWithHandlerEscaped", "<font color=red onmouseover=alert(1)>x</font>",
                    "&lt;font color=red onmouseover=alert(1)&gt;x</font>", Rules()},
        RewriteCase{"ScriptAddressEscaped", "<a href=\"javascript:alert(1)\">押して</a>",
                    "&lt;a href=\"javascript:alert(1)\"&gt;押して&lt;/a&gt;", Rules()},
        RewriteCase{"HiddenScriptAddressEscaped", "<a href=\" jav&#x09;ascript:alert(1)\">x</a>",
                    "&lt;a href=\" jav&#x09;ascript:alert(1)\"&gt;x&lt;/a&gt;", Rules()},
        RewriteCase{"AnchorHandlerEscaped", "<a href=\"http://x/\" onclick=\"alert(1)\">x</a>",
                    "&lt;a href=\"http://x/\" onclick=\"alert(1)\"&gt;x&lt;/a&gt;", Rules()},
        RewriteCase{"IframeEscaped", "<iframe src=http://x/></iframe>",
                    "&lt;iframe src=http://x/&gt;&lt;/iframe&gt;", Rules()},
        RewriteCase{"StrayLessThan", "1 < 2 > 0", "1 &lt; 2 > 0", Rules()}),
    [](const ::testing::TestParamInfo<RewriteCase>& info) { return std::string(info.param.name); });

TEST(RewriteField, RemembersTargetsForPopups) {
  AnchorContext anchors;
  anchors.postCount = 10;
  std::vector<int> refs;
  RewriteField("<a href=\"x\">&gt;&gt;2-4</a><a href=\"x\">&gt;&gt;50</a>", FieldKind::kBody,
               BodyRules(), anchors, &refs);
  EXPECT_EQ(refs, (std::vector<int>{2, 3, 4}));  // 50 is beyond the thread
}

TEST(RewriteField, SplitThreadAnchorsNameThePartFile) {
  AnchorContext anchors;
  anchors.postCount = 300;
  anchors.partFileOf = [](int n) { return n <= 100 ? "t_01.html" : "t_02.html"; };
  EXPECT_EQ(RewriteField("<a href=\"x\">&gt;&gt;150</a>", FieldKind::kBody, BodyRules(), anchors),
            "<a href=\"t_02.html#R150\">&gt;&gt;150</a>");
}

TEST(RewriteField, LinkTenDropsNameLinksOnly) {
  BodyRules rules;
  rules.link = 2;
  AnchorContext anchors;
  anchors.postCount = 9;
  EXPECT_EQ(RewriteField("<a href=\"x\">&gt;&gt;3</a>", FieldKind::kName, rules, anchors),
            "&gt;&gt;3");
  EXPECT_EQ(RewriteField("<a href=\"x\">&gt;&gt;3</a>", FieldKind::kBody, rules, anchors),
            "<a href=\"#R3\">&gt;&gt;3</a>");
}

TEST(RewriteField, ShiftJisTrailBytesAreNotSigns) {
  BodyRules rules;
  rules.charset = common::Charset::kCp932;
  AnchorContext anchors;
  anchors.postCount = 9;
  // "ド" is 0x83 0x68: its trail byte is 'h', so "ドttp://x" must not become
  // an http:// address that swallows half of the character.
  EXPECT_EQ(RewriteField("\x83\x68ttp://x", FieldKind::kBody, rules, anchors),
            "\x83\x68<a href=\"http://x\" target=\"_blank\">ttp://x</a>");
  // "＞＞３" in Shift_JIS.
  std::string anchor = "<a href=\"x\">\x81\x84\x81\x84\x82\x52</a>";
  EXPECT_EQ(RewriteField(anchor, FieldKind::kBody, rules, anchors),
            "<a href=\"#R3\">\x81\x84\x81\x84\x82\x52</a>");
}

// Fields are searched sixteen bytes at a time: an address or a tag is found
// at every place, after art full of ':' and split "://" pieces.
TEST(RewriteField, FindsAddressesAndTagsAtEveryPlace) {
  AnchorContext anchors;
  anchors.postCount = 9;
  const std::string link = "<a href=\"http://e.example/\" target=\"_blank\">http://e.example/</a>";
  for (const char* art : {":", "::/", ":/:", "\xEF\xBC\x9A", "a"}) {
    for (size_t n = 0; n < 40; ++n) {
      std::string lead;
      while (lead.size() < n) lead += art;
      EXPECT_EQ(RewriteField(lead + "http://e.example/", FieldKind::kBody, BodyRules(), anchors),
                lead + link)
          << lead;
      EXPECT_EQ(RewriteField(lead + "<br>" + lead + ":/", FieldKind::kBody, BodyRules(), anchors),
                lead + "<br>" + lead + ":/")
          << lead;
      EXPECT_EQ(RewriteField(lead + "<script>", FieldKind::kBody, BodyRules(), anchors),
                lead + "&lt;script&gt;")
          << lead;
    }
  }
}

TEST(TrimBodyBlanks, RemovesTheBlanksTheLogWritesAroundBreaks) {
  EXPECT_EQ(TrimBodyBlanks(" 一行目 <br> 二行目 <br>  三 "), "一行目<br>二行目<br> 三");
  // Art writes its breaks without blanks; one blank on either side still goes.
  EXPECT_EQ(TrimBodyBlanks("＿:<br>:|<br> ｌ<br>l <br><br>  "), "＿:<br>:|<br>ｌ<br>l<br><br>");
}

// The trimmer hands the rewriter the places of every '<' and "://" so that
// the body is searched once: the page must be the same as from a search.
TEST(TrimBodyBlanks, PlacesItFindsLeadTheRewriterAsASearchWould) {
  AnchorContext anchors;
  anchors.postCount = 20;
  for (const char* body : {
           " 一行目 <br> 二行目 <br>  三 ",
           " <br> <br> ",
           "＿:::<br>::|<br> ｌ <br>|:<br><br> <br>http://e.example/<br><a "
           "href=\"x\">&gt;&gt;2</a>",
           " 見て http://e.example/a <br> ttp://e.example/b:// <br>",
           " <a href=\"../test/read.cgi/x/1/5\" target=\"_blank\">&gt;&gt;5</a> <br> ok ",
           " <script>x</script> <br <br> < br> <br>",
           "::::http://e.example/ :::: <br> :// <br>://x",
           " <b>太字</b> <br> <a href=\"x\">&gt;&gt;3 <br> 4</a> <br> http://e.example/ ",
           "  ",
           "",
       }) {
    std::string trimmed;
    std::vector<size_t> stops;
    TrimBodyBlanksInto(trimmed, body, &stops);
    EXPECT_EQ(trimmed, TrimBodyBlanks(body)) << body;
    std::vector<int> searchedRefs, knownRefs;
    std::string searched =
        RewriteField(trimmed, FieldKind::kBody, BodyRules(), anchors, &searchedRefs);
    std::string known;
    RewriteFieldInto(known, trimmed, FieldKind::kBody, BodyRules(), anchors, &knownRefs, &stops);
    EXPECT_EQ(known, searched) << body;
    EXPECT_EQ(knownRefs, searchedRefs) << body;
    // Appended after text that ends in a blank, which must stay.
    std::string page = "<dd> ";
    std::vector<size_t> appendedStops;
    bool plain = AppendTrimmedBody(page, body, &appendedStops);
    EXPECT_EQ(page, "<dd> " + trimmed) << body;
    EXPECT_EQ(appendedStops, stops) << body;
    if (plain) {
      EXPECT_EQ(searched, trimmed) << body;
    }
  }
}

TEST(TrimBodyBlanks, OnlyBodiesWithoutMarkupOrAddressesArePlain) {
  struct Case {
    const char* body;
    bool plain;
  } cases[] = {
      {" 一行目 <br> 二行目 ", true},
      {"", true},
      {" a:b <br> c:/d <br>", true},
      {" a <b>b</b> ", false},
      {" http://e.example/ ", false},
      {" <br <br> ", false},
      {" < ", false},
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(AppendTrimmedBody(out, c.body), c.plain) << c.body;
  }
}

TEST(EscapeAttribute, QuotesCannotCloseTheAttribute) {
  EXPECT_EQ(EscapeAttribute("sage\" onmouseover=\"x", common::Charset::kUtf8),
            "sage&quot; onmouseover=&quot;x");
}

TEST(EscapeAttribute, AmpersandsThatBeginNoReference) {
  struct Case {
    const char* text;
    const char* escaped;
  } cases[] = {
      {"http://machi.to/bbs/read.cgi?BBS=x&KEY=1", "http://machi.to/bbs/read.cgi?BBS=x&amp;KEY=1"},
      {"a&amp;b &#39; &#x27; &lt;", "a&amp;b &#39; &#x27; &lt;"},
      {"& &; &#; &#x; &abc", "&amp; &amp;; &amp;#; &amp;#x; &amp;abc"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(EscapeAttribute(c.text, common::Charset::kUtf8), c.escaped) << c.text;
    EXPECT_EQ(EscapeAmpersands(c.text), c.escaped) << c.text;
  }
}

}  // namespace
}  // namespace converter::page
