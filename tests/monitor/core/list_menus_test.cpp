#include "monitor/core/list_menus.h"

#include "test_support.h"

namespace yagura {
namespace {

using testing::MonitorTest;

class ListMenusTest : public MonitorTest {
 protected:
  void Fill(ListBox& list, int count) {
    for (int i = 0; i < count; ++i) {
      list.AddItem("100000000" + std::to_string(i) + ".dat<>スレ" + std::to_string(i) + " (1)");
    }
  }
};

TEST_F(ListMenusTest, EmptyListShowsNothingSelectedAndDisabledEdits) {
  for (ListBox* list : {&m.form.listTHREADSEND[0], &m.form.listTHREADSEND[1], &m.form.listDATDL[0],
                        &m.form.listDATDL[1]}) {
    ASSERT_TRUE(HasListMenu(m.form, *list)) << list->Name();
    ListMenu menu = ListMenuOf(m.form, *list);
    EXPECT_EQ(menu.infoCaption, "※何も選択していません。") << list->Name();
    EXPECT_FALSE(menu.deleteEnabled) << list->Name();
    EXPECT_FALSE(menu.clearEnabled) << list->Name();
  }
  EXPECT_FALSE(HasListMenu(m.form, m.form.listGUMPASS[0]));
  EXPECT_FALSE(HasListMenu(m.form, m.form.listGUMPASS[1]));
}

TEST_F(ListMenusTest, MenusCarryTheirCaptionsAndTheSelectedEntry) {
  struct Case {
    ListBox* list;
    bool hasEdits;
    const char* deleteCaption;
    const char* clearCaption;
  };
  const Case cases[] = {
      {&m.form.listTHREADSEND[0], true, "メール送信予定リストから削除(&D)",
       "メール送信予定リストを全て削除(&C)"},
      {&m.form.listTHREADSEND[1], true, "メール送信済みリストから削除(&D)",
       "メール送信済みリストを全て削除(&C)"},
      {&m.form.listDATDL[0], false, "", ""},
      {&m.form.listDATDL[1], true, "dat落ちリストから削除(&D)", "dat落ちリストを全て削除(&C)"},
  };
  for (const Case& c : cases) {
    Fill(*c.list, 2);
    c.list->SetListIndex(1);
    ListMenu menu = ListMenuOf(m.form, *c.list);
    EXPECT_EQ(menu.infoCaption, c.list->Item(1)) << c.list->Name();
    EXPECT_EQ(menu.hasDelete, c.hasEdits) << c.list->Name();
    EXPECT_EQ(menu.hasClear, c.hasEdits) << c.list->Name();
    EXPECT_EQ(menu.deleteCaption, c.deleteCaption) << c.list->Name();
    EXPECT_EQ(menu.clearCaption, c.clearCaption) << c.list->Name();
    EXPECT_TRUE(menu.deleteEnabled);
    EXPECT_TRUE(menu.clearEnabled);
  }
}

TEST_F(ListMenusTest, DeleteSelectsThePreviousEntryOrTheLastOneAndSaves) {
  struct Case {
    int count, selected;
    int expectedCount, expectedSelection;
  };
  const Case cases[] = {
      {1, 0, 0, -1},  // the only entry: empty, nothing selected
      {3, 0, 2, 1},   // the first of three: the new last one
      {3, 2, 2, 1},   // the last: the one before it
      {3, 1, 2, 0},
  };
  for (const Case& c : cases) {
    ListBox& list = m.form.listDATDL[1];
    list.Clear();
    Fill(list, c.count);
    const std::string removed = list.Item(c.selected);
    list.SetListIndex(c.selected);
    DeleteSelectedListEntry(m, list);
    EXPECT_EQ(list.Count(), c.expectedCount);
    EXPECT_EQ(list.ListIndex(), c.expectedSelection) << c.count << "/" << c.selected;
    EXPECT_EQ(ReadText("_Dat1001.lst").find(removed), std::string::npos);
  }
  EXPECT_NE(ReadText("_Dat1001.lst").find("dat落ちスレッド情報リスト"), std::string::npos);
}

TEST_F(ListMenusTest, ClearActsOnlyWhileAnEntryIsSelected) {
  ListBox& list = m.form.listTHREADSEND[1];
  Fill(list, 2);
  ClearListEntries(m, list);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(ReadText("_Thread.lst"), "<missing>");
  list.SetListIndex(0);
  ClearListEntries(m, list);
  EXPECT_EQ(list.Count(), 0);
  const std::string head = ";--Yagura Version 0.3.86 メール送信済みスレッド情報リスト\r\n";
  EXPECT_EQ(ReadText("_Thread.lst"), head + head);
}

TEST_F(ListMenusTest, DeleteWithoutSelectionChangesNothing) {
  ListBox& list = m.form.listTHREADSEND[0];
  Fill(list, 2);
  DeleteSelectedListEntry(m, list);
  EXPECT_EQ(list.Count(), 2);
  EXPECT_EQ(ReadText("_Thread.lst"), "<missing>");
}

TEST_F(ListMenusTest, VersionBoxShowsTheBaseTitleAndTheRightsNotice) {
  MENU_HELP_VERSION_Click(m);
  ASSERT_EQ(boxes.shown.size(), 1u);
  EXPECT_EQ(boxes.shown[0].title, "バージョン情報 - Yagura");
  EXPECT_EQ(boxes.shown[0].text.rfind("Yagura Version 0.3.86\r\n\r\n", 0), 0u);
  EXPECT_GT(boxes.shown[0].text.size(), std::string("Yagura Version 0.3.86\r\n\r\n").size());
  EXPECT_EQ(boxes.shown[0].icon, MessageIcon::kInformation);
}

}  // namespace
}  // namespace yagura
