// The visible words of a page in its three languages (UTF-8).
#pragma once

#include <string>

#include "converter/reading/board_kind.h"

namespace converter::page {

struct Labels {
  std::string sourceThread;  // 元のスレッド
  std::string backToBoard;   // 掲示板に戻る
  std::string boardSuffix;   // に戻る
  std::string wholeThread;   // 全部
  std::string back;          // 戻る (to the index)
  std::string latest50;      // 最新50
  std::string previousPart;  // 前
  std::string nextPart;      // 次
  std::string nameLabel;     // 名前：
  std::string plainLabel;    // ：
  std::string dateLabel;     // 投稿日：
  std::string broken;        // [ここ壊れてます]
  std::string untitled;      // (無題)
  std::string omitted;       // the notice after a cut post, with %s for file and number
  std::string omittedShort;  // its link_omit_atagstr form, with %d for the line count
};

// Labels for a page language (0 Japanese, 1 Chinese, 2 English), the
// shortened forms of link_omit_atagstr and the words of the board kind.
Labels LabelsFor(int language, bool shortened, const BoardKindTraits& traits);

}  // namespace converter::page
