#include "converter/index/templates.h"

#include <gtest/gtest.h>

namespace converter::index {
namespace {

TEST(FillTemplate, OnlyBlocksFollowTheirSwitches) {
  const std::string body =
      "<ONLYMESSAGE>[</ONLYMESSAGE><NUMBER/><ONLYNUMBER>:</ONLYNUMBER><THREADTITLE/>"
      "<ONLYRESCOUNT>(</ONLYRESCOUNT><RESCOUNT/><ONLYRESCOUNT>)</ONLYRESCOUNT>"
      "<ONLYBOARDTITLE>{<BOARDTITLE/>}</ONLYBOARDTITLE><RET/>";
  MarkerValues values = {
      {"NUMBER", "1"}, {"THREADTITLE", "T"}, {"RESCOUNT", "5"}, {"BOARDTITLE", "B"}};
  struct Case {
    OnlyBlocks only;
    const char* expected;
  } cases[] = {
      {{true, true, false, false}, "1:T(5)\r\n"},
      {{false, false, false, false}, "1T5\r\n"},  // the values themselves come empty with /i=00
      {{true, true, true, true}, "[1:T(5){B}\r\n"},
      {{false, true, false, true}, "1T(5){B}\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(FillTemplate(body, values, c.only, "\r\n"), c.expected);
}

TEST(FillTemplate, ValuesAreNotReadAsMarkersAndUnknownMarkersStay) {
  MarkerValues values = {{"THREADTITLE", "<RESCOUNT/>"}, {"RESCOUNT", "9"}};
  EXPECT_EQ(FillTemplate("<b><THREADTITLE/></b> <RESCOUNT/> <OTHER/> <RET/>", values, {}, "\n"),
            "<b><RESCOUNT/></b> 9 <OTHER/> \n");
  // A block left open loses only its tag.
  EXPECT_EQ(FillTemplate("a<ONLYMESSAGE>b", values, {}, "\n"), "ab");
}

TEST(BuiltInTemplates, HoldEveryMarkerTheyNeed) {
  for (bool decorated : {false, true}) {
    ThreadListTemplate list = BuiltInThreadList(decorated);
    for (const char* marker : {"<CHARSET/>", "<INDEXTITLE/>", "<BOARDTITLE/>"}) {
      EXPECT_NE(list.header.find(marker), std::string::npos) << marker;
    }
    for (const char* marker : {"<THREADPATH/><FILENAME/>", "<NUMBER/>", "<THREADTITLE/>",
                               "<RESCOUNT/>", "<ONLYMESSAGE>"}) {
      EXPECT_NE(list.body.find(marker), std::string::npos) << marker;
    }
    TreeTemplate tree = BuiltInTree(decorated);
    EXPECT_NE(tree.bodyHeader.find("<ITEM_HEADER/>"), std::string::npos);
    EXPECT_NE(tree.body.find("<TARGETPATH/><FILENAME/>"), std::string::npos);
    EXPECT_NE(tree.bodyFooter.find("<LINK_INDEXNINE/>"), std::string::npos);
  }
  EXPECT_NE(BuiltInThreadList(true).header.find("<BGFILEPATH/>"), std::string::npos);
  EXPECT_NE(BuiltInThreadList(false).body.find("<MESSAGE/>"), std::string::npos);
}

}  // namespace
}  // namespace converter::index
