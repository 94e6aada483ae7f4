#include "converter/page/labels.h"

namespace converter::page {

Labels LabelsFor(int language, bool shortened, const BoardKindTraits& traits) {
  Labels l;
  if (language == 2) {
    l = {"source thread",
         "Returns to bbs.",
         " ",
         "Read all",
         "index",
         "Last 50",
         "back",
         "next",
         "Name: ",
         ": ",
         " date: ",
         "[Broken log]",
         "no title",
         "<font color=\"green\"> (Comment too long. Click <a href=\"%s_o.html#R%s\">here</a> to "
         "view the full text.) </font>",
         "<a href=\"%s_o.html#R%s\">(%d lines)</a>"};
    return l;
  }
  if (language == 1) {
    l = {"source thread",
         "回到討論區",
         "",
         "全部",
         "回到目錄",
         "最新50",
         "前",
         "次",
         "名稱：",
         "：",
         "發表日：",
         "[Broken log]",
         "(無題)",
         "<font color=\"green\">（省略されました・・全てを読むには<a href=\"%s_o.html#R%s\">ここ</"
         "a>を押してください）</font>",
         "　<a href=\"%s_o.html#R%s\">%d行省略</a>"};
    return l;
  }
  l = {"元のスレッド",
       "掲示板に戻る",
       "に戻る",
       std::string(traits.WholeThreadLabel()),
       "戻る",
       std::string(traits.Latest50Label()),
       "前",
       "次",
       "名前：",
       "：",
       "投稿日：",
       "[ここ壊れてます]",
       "(無題)",
       "<font color=\"green\">（省略されました・・全てを読むには<a href=\"%s_o.html#R%s\">ここ</"
       "a>を押してください）</font>",
       "　<a href=\"%s_o.html#R%s\">%d行省略</a>"};
  if (shortened) {
    l.sourceThread = "元";
    l.backToBoard = "戻";
    l.wholeThread = "1-";
    l.back = "戻";
    l.latest50 = "新";
  }
  return l;
}

}  // namespace converter::page
