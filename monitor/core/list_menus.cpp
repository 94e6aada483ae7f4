#include "monitor/core/list_menus.h"

#include "monitor/core/activity_log.h"
#include "monitor/core/message_text.h"
#include "monitor/core/thread_lists.h"

namespace yagura {
namespace {

constexpr const char* kRightsNotice = "Copyright (C) the Yagura developers";

void SaveAfterEdit(Monitor& monitor) {
  if (!SaveLists(monitor)) {
    WriteDetailLog(monitor, "リストファイルを保存できません");
  }
}

}  // namespace

bool HasListMenu(const Form& form, const ListBox& list) {
  return &list == &form.listTHREADSEND[0] || &list == &form.listTHREADSEND[1] ||
         &list == &form.listDATDL[0] || &list == &form.listDATDL[1];
}

ListMenu ListMenuOf(const Form& form, const ListBox& list) {
  ListMenu menu;
  menu.infoCaption = list.ListIndex() >= 0 ? list.Item(list.ListIndex()) : kNothingSelected;
  menu.deleteEnabled = list.ListIndex() >= 0;
  menu.clearEnabled = list.Count() > 0;
  if (&list == &form.listTHREADSEND[0]) {
    menu.deleteCaption = "メール送信予定リストから削除(&D)";
    menu.clearCaption = "メール送信予定リストを全て削除(&C)";
  } else if (&list == &form.listTHREADSEND[1]) {
    menu.deleteCaption = "メール送信済みリストから削除(&D)";
    menu.clearCaption = "メール送信済みリストを全て削除(&C)";
  } else if (&list == &form.listDATDL[1]) {
    menu.deleteCaption = "dat落ちリストから削除(&D)";
    menu.clearCaption = "dat落ちリストを全て削除(&C)";
  }
  menu.hasDelete = menu.hasClear = !menu.deleteCaption.empty();
  return menu;
}

void DeleteSelectedListEntry(Monitor& monitor, ListBox& list) {
  const int index = list.ListIndex();
  if (index < 0) return;
  list.RemoveItem(index);
  if (list.Count() == 0) {
    list.SetListIndex(-1);
  } else {
    list.SetListIndex(index == 0 ? list.Count() - 1 : index - 1);
  }
  SaveAfterEdit(monitor);
}

void ClearListEntries(Monitor& monitor, ListBox& list) {
  if (list.ListIndex() < 0) return;
  list.Clear();
  SaveAfterEdit(monitor);
}

std::string VersionBoxText(const Monitor& monitor) {
  return monitor.form.baseTitle + "\r\n\r\n" + kRightsNotice;
}

void MENU_HELP_VERSION_Click(Monitor& monitor) {
  monitor.ShowMessage(VersionBoxText(monitor), std::string("バージョン情報 - ") + kProgramTitle,
                      MessageIcon::kInformation);
}

}  // namespace yagura
