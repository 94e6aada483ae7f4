#include "converter/options/help_pages.h"

#include <cstdio>
#include <vector>

namespace converter {
namespace {

std::string Format(const char* format, std::string_view a = {}, std::string_view b = {},
                   std::string_view c = {}) {
  std::string out;
  std::string sa(a), sb(b), sc(c);
  int n = std::snprintf(nullptr, 0, format, sa.c_str(), sb.c_str(), sc.c_str());
  out.resize(n + 1);
  std::snprintf(out.data(), out.size(), format, sa.c_str(), sb.c_str(), sc.c_str());
  out.pop_back();
  return out;
}

std::string Pointer(std::string_view option) {
  return "(詳しくは " + std::string(kProgramName) + " " + std::string(option) + "-hで)";
}

// One option line: the option padded to column 12, a colon, the description.
std::string OptionLine(std::string_view option, std::string_view text) {
  if (text.empty()) return "\n";
  std::string line(option);
  line.resize(12, ' ');
  return line + ":" + std::string(text) + "\n";
}

struct OptionText {
  std::string_view option;
  std::string text;
  bool main;  // listed on the short screen
};

std::vector<OptionText> OptionTexts(Mode mode) {
  bool skin = mode == Mode::kSkin;
  bool text = mode == Mode::kPlainText;
  return {
      {"/a", "出力フォルダの構成を指定します" + Pointer("/a"), true},
      {"/c", "カレントフォルダに出力します", true},
      {"/ct", "出力ファイルの日時を入力ファイルの最終更新日時にします", false},
      {"/d", "指定した投稿数ごとにファイルを分割します (例 /d=100)", true},
      {"/f", "掲示板の種類を指定します" + Pointer("/f"), false},
      {"/i", "インデックスファイルを作成します" + Pointer("/i"), true},
      {"/js", "JavaScriptを組み込みます" + Pointer("/js"), true},
      {"/l", "画面に表示せずにログファイル(shoin_log.txt)に出力します", false},
      {"/m", "出力形式を指定します" + Pointer("/m"), true},
      {"/mv", "変換後に変換元ファイルを移動します" + Pointer("/mv"), false},
      {"/o", "動作を指定します" + Pointer("/o"), false},
      {"/p", "スキンファイルのフォルダを指定します (例 /p=\"スキンのパス\")", true},
      {"/q", "スレッドタイトルで変換対象を絞り込みます" + Pointer("/q"), true},
      {"/r", "投稿数で変換対象を絞り込みます (例 /r=100-500)", false},
      {"/s", "サブフォルダも含めて変換します" + Pointer("/s"), true},
      {"/sp", text ? "行頭の空白を削除します" : "", false},
      {"/st", text ? "標準出力に出力します" : "", false},
      {"/t", "出力ファイル名の書式を指定します" + Pointer("/t"), true},
      {"/ts", "日時で変換対象を絞り込みます" + Pointer("/ts"), false},
      {"/u", "入力ファイルの方が新しい場合だけ上書きします", false},
      {"/ur", skin ? "スキンのNewRes.htmlの代わりにRes.htmlを使用します" : "", false},
      {"/w", skin ? "アップロード先のURLを指定します (例 /w=\"http://example.jp/log/\")" : "",
       false},
      {"/z", "掲示板のログファイル名を持つファイルだけを変換します", false},
  };
}

std::string Header() {
  return Format("%s Ver. %s\n", kProgramName, kVersion) +
         "2ch等のログデータ(*.dat)をHTML形式に変換します\n";
}

std::string PageA() {
  return "/a オプションの詳細 /a=[B][s][b|n][f|F][d][r][c]\n"
         "  B : 掲示板の種類(２ちゃんねる、まちＢＢＳ 等)のフォルダを作ります\n"
         "  s : サーバ名のフォルダを作ります\n"
         "  b : 板のフォルダ名のフォルダを作ります\n"
         "  n : 板名のフォルダを作ります\n"
         "  f : スレッドキーの先頭(9桁なら3桁、10桁なら4桁)のフォルダを作ります\n"
         "  F : 過去ログ倉庫と同じ形式(kako/1234/12345)のフォルダを作ります\n"
         "  d : 最初の投稿の年月(6桁)のフォルダを作ります\n"
         "  r : 入力フォルダの構成を再現します\n"
         "  c : すべて一つのフォルダに出力します\n"
         "  "
         "文字を指定した順にフォルダの階層になります。bとn、fとFは先に指定した方だけが有効です。\n"
         "  指定しない場合は出力フォルダに直接出力します(標準)。\n"
         "例えば、/a=Bsbf のように指定してください。\n";
}

std::string PageF() {
  return "/f オプションの詳細 /f=x\n"
         "  指定しない場合は掲示板情報から判定します(標準)。\n"
         "  1 : ２ちゃんねる\n"
         "  2 : BBSPINK\n"
         "  3 : Be@2ch\n"
         "  4 : まちＢＢＳ\n"
         "  5 : milkcafe\n"
         "  6 : したらば\n"
         "  7 : World 2ch (出力の漢字コードはUTF-8)\n"
         "  8 : Taiwan 2ch (入出力の漢字コードはbig5)\n"
         "  x : その他\n"
         "例えば、/f=4 のように指定してください。\n";
}

std::string PageI() {
  return "/i オプションの詳細 /[i|I][=|:][n|f|l|L|r|x][u|d][10桁の数字][:ファイル名]\n"
         "  i : 装飾なしのインデックスを作ります\n"
         "  I : 装飾つきのインデックスを作ります\n"
         "  = : 区切り文字 (- も使えます)\n"
         "  : : 区切り文字。背景ファイル(bg.gif)を出力フォルダにコピーします\n"
         " 並べ替えの基準\n"
         "  n : スレッドタイトル\n"
         "  f : 最初の投稿の日時\n"
         "  l : 最新の投稿の日時(sageを除く)(標準)\n"
         "  L : 最新の投稿の日時\n"
         "  r : 投稿数\n"
         "  x : 並べ替えない(変換した順)\n"
         " 並べ替えの順序\n"
         "  u : 昇順\n"
         "  d : 降順(標準)\n"
         " 10桁の数字 (標準は1100000010)\n"
         "  1桁目 : 1 順位を出力する(標準) 0 しない\n"
         "  2桁目 : 1 投稿数を出力する(標準) 0 しない\n"
         "  3桁目 : 1 掲示板名を出力する 0 しない(標準)\n"
         "  4桁目 : 1 最初の投稿の本文を出力する 0 しない(標準)\n"
         "  5桁目 : 1 フォルダごとに作らない 0 datのフォルダごとに作る(標準)\n"
         "  6桁目 : 1 すべてを一つのインデックスにまとめる 0 まとめない(標準)\n"
         "  7桁目 : 1 既存のhtmlファイルからインデックス情報を取り込む 0 取り込まない(標準)\n"
         "  8桁目 : 1 index.tmpを引き継ぐ 0 引き継がない(標準)\n"
         "  9桁目 : 1 templateフォルダのテンプレートを使う(標準) 0 標準のテンプレートを使う\n"
         "  10桁目 : 0-3 (標準は0)\n"
         " :ファイル名 : インデックスファイルの名前(標準はindex.html)\n"
         "例えば、/i=nd:\"hoge.htm\" のように指定してください。\n";
}

std::string PageJs() {
  return "/js オプションの詳細 /js=(3桁の16進数)\n"
         " 1桁目\n"
         "  bit1 : 1 スクリプトをページに埋め込む(標準) 0 外部ファイルを参照する\n"
         "  bit2 : 1 外部ファイルはカレントフォルダ 0 出力フォルダの最上位(標準)\n"
         "  bit3-4 : 常に0を指定してください。\n"
         " 2桁目\n"
         "  bit1 : 1 スレッド内検索を付ける 0 付けない(標準)\n"
         "  bit2 : 1 Beのリンクをスクリプトで処理する(標準) 0 通常のaタグにする\n"
         "  bit3-4 : 常に0を指定してください。\n"
         " 3桁目\n"
         "  bit1 : 1 レスのポップアップ(標準) 0 しない\n"
         "  bit2 : 1 メール欄のポップアップ(標準) 0 しない\n"
         "  bit3 : 1 日付欄のクリックで同じIDの投稿を抽出(標準) 0 しない\n"
         "  bit4 : 1 投稿番号のクリックで参照している投稿を抽出(標準) 0 しない\n"
         " 2桁目と3桁目がともに0のときはスクリプトを組み込みません。\n"
         "例えば、/js=84F のように指定してください。\n";
}

std::string PageM(Mode mode) {
  const bool skin = mode == Mode::kSkin;
  auto zero = [&](const char* line) -> std::string {
    return skin ? "常に0を指定してください。\n" : std::string(line);
  };
  if (mode == Mode::kPlainText) {
    return "/m オプションの詳細 /m=(6桁の16進数)\n"
           " 1桁目\n"
           "  bit1 : 1 名前のラベルを付ける(標準) 0 付けない\n"
           "  bit2 : 1 投稿日のラベルを付ける 0 付けない(標準)\n"
           "  bit3 : 1 メール欄を表示する 0 表示しない(標準)\n"
           "  bit4 : 1 スレッドタイトルを表示しない 0 表示する(標準)\n"
           " 2桁目\n"
           "  bit1-2 : 11 曜日を付ける 10 曜日を削除 01 掲示板独自の表記を削除して曜日を付ける 00 "
           "そのまま(標準)\n"
           "  bit3 : 1 ファイルサイズを表示する 0 しない(標準)\n"
           "  bit4 : 1 空白を削除しない(標準) 0 削除する\n"
           " 3桁目\n"
           "  bit1 : 1 タイトルの先頭の空白を削除する 0 しない(標準)\n"
           "  bit2 : 1 名前の前後の空白を削除する 0 しない(標準)\n"
           "  bit3 : 1 改行をLFにする 0 CRLF(標準)\n"
           "  bit4 : 常に0を指定してください。\n"
           " 4-6桁目 : 常に0を指定してください。\n"
           "例えば、/m=810000 のように指定してください。\n";
  }
  std::string page = "/m オプションの詳細 /m=(9桁の16進数)\n";
  page += " 1桁目\n";
  if (skin) {
    page += "  bit1-4 : 常に0を指定してください。\n";
  } else {
    page +=
        "  bit1 : 1 名前欄に「名前」を付ける(標準) 0 付けない\n"
        "  bit2 : 1 日付欄に「投稿日」を付ける 0 付けない(標準)\n"
        "  bit3 : 1 メール欄を名前の横に表示する 0 名前のリンクにする(標準)\n"
        "  bit4 : 1 スレッドタイトルを表示しない 0 表示する(標準)\n";
  }
  page +=
      " 2桁目\n"
      "  bit1-2 : 11 曜日を付ける 10 曜日を削除する 01 掲示板独自の表記を削除して曜日を付ける 00 "
      "そのまま(標準)\n"
      "  bit3 : 1 datファイルのサイズを表示する 0 しない(標準)\n"
      "  bit4 : 1 本文と<br>の前後の半角空白を削除しない(標準) 0 削除する\n"
      " 3桁目\n"
      "  bit1 : 1 タイトルの先頭の半角空白を削除する 0 しない(標準)\n"
      "  bit2 : 1 名前の前後の半角空白を削除する 0 しない(標準)\n"
      "  bit3 : 1 改行コードをLFにする 0 CRLF(標準)\n"
      "  bit4 : 1 ログの<a href=\"..>のリンクをそのままにする 0 書き換える(標準)\n"
      " 4桁目\n";
  page += "  bit1 : " + zero("1 『掲示板に戻る』を付ける(標準) 0 付けない\n");
  page += "  bit2 : " + zero("1 『元のスレッド』を付ける(標準) 0 付けない\n");
  page +=
      "  bit3 : 1 外部へのリンクにリンク中継を使う 0 使わない(標準)\n"
      "  bit4 : " +
      zero("1 「戻る」を付ける(標準) 0 付けない\n") +
      " 5桁目\n"
      "  bit1 : " +
      zero("1 100投稿ごとのリンクを付ける(標準) 0 付けない\n") +
      "  bit2-3 : 11 すべてのリンクを外す 10 外部へのリンクを外す 01 ttp://をリンクしない 00 "
      "すべてリンクする(標準)\n"
      "  bit4 : " +
      zero("1 クレジットを付ける(標準) 0 付けない\n") +
      " 6桁目\n"
      "  bit1 : 1 スレッド内検索を付ける(スクリプトが有効になります) 0 付けない(標準)\n"
      "  bit2 : " +
      zero("1 フォントをＭＳ Ｐゴシック 12ptにする 0 しない(標準)\n") +
      "  bit3 : " + zero("1 read.cgi 05.x.x.x形式のページ 0 read.cgi 7.xx形式(標準)\n") +
      "  bit4 : 1 リンクの文字列を短くする 0 しない(標準)\n"
      " 7桁目と8桁目のbit1\n"
      "  指定した行数(7桁目bit1×16+bit2×8+bit3×4+bit4×2+8桁目bit1)を超える投稿を省略し、"
      "_o.htmlに出力します。0 省略しない(標準)\n"
      " 8桁目\n"
      "  bit2 : 1 リストのタグ(dl dt dd 等)を省略する 0 しない(標準)\n"
      "  bit3 : 1 インデックス再構築用のタグを埋め込む 0 しない(標準)\n"
      "  bit4 : 1 レスアンカーの範囲にいろいろな記号を使えるようにする 0 しない(標準)\n"
      " 9桁目\n"
      "  bit1 : 1 sssp://をimgタグにする 0 しない(標準)\n"
      "  bit2-3 : 01 Shift_JIS 10 EUC-JP 11 UTF-8 00 指定しない(標準)\n";
  page += skin ? "  bit4 : 1 ページ内のリンクを#R<番号>にする 0 #<番号>にする(標準)\n"
               : "  bit4 : 1 ページ内のリンクを#<番号>にする 0 #R<番号>にする(標準)\n";
  page += "例えば、/m=810D80010 のように指定してください。\n";
  return page;
}

std::string PageMv() {
  return "/mv オプションの詳細 /mv=\"移動先のパス\"[::r]\n"
         "  変換が終わった変換元ファイルを指定したフォルダに移動します。\n"
         "  パスを省略すると出力フォルダに移動します(標準)。\n"
         "  ::r : 関連するファイル(.idx .inf .txt .i .dat.opt)も移動します\n"
         "例えば、/mv=\"/home/user/oldlog\"::r のように指定してください。\n";
}

std::string PageO() {
  return "/o オプションの詳細 /o=(6桁の16進数)\n"
         " 1桁目\n"
         "  bit1 : 1 .idx .infファイルを読まない 0 読む(標準)\n"
         "  bit2 : 1 専用ブラウザの板ファイルを読まない 0 読む(標準)\n"
         "  bit3 : 1 2channel.brd others.brdを読まない 0 読む(標準)\n"
         "  bit4 : 1 ログのチェックを無視する(すべて2chのdatとして扱う) 0 チェックする(標準)\n"
         " 2桁目\n"
         "  bit1 : 1 既存の出力ファイルを探さない 0 探す(標準)\n"
         "  bit2 : 常に0を指定してください。\n"
         "  bit3-4 : 入力の漢字コード 01 Shift_JIS 10 EUC-JP 11 UTF-8 00 自動判定(標準)\n"
         " 3-4桁目 : 掲示板情報を参照する優先順位(2bitずつ上位から)\n"
         "  00 .idx/.infファイル 01 専用ブラウザの板ファイル 10 others.brd 11 2channel.brd "
         "(標準は1B)\n"
         " 5-6桁目 : ログの判定に読む先頭部分の大きさ(KB) (標準は1E = 30KB)\n"
         "例えば、/o=E01B1E のように指定してください。\n";
}

std::string PageQ() {
  return "/q オプションの詳細 /q または /q=\"検索式\"\n"
         "  スレッドタイトルが検索式に合うスレッドだけを変換します。\n"
         "  /q だけの場合は query.txt の1行目を検索式にします。\n"
         "  語句は空白で区切ります。\n"
         "  語句     : どれかを含む(OR)\n"
         "  +語句    : 必ず含む(AND)\n"
         "  -語句    : 含まない(NOT)\n"
         "  全角半角、大文字小文字、空白は区別しません。\n"
         "例えば、/q=\"+VIP 雑談 -糞スレ\" のように指定してください。\n";
}

std::string PageS() {
  return "/s オプションの詳細 /s[=][1][c][:\"ファイル名\"]\n"
         "  サブフォルダもすべて変換します。\n"
         "  1 : インデックスをすべて一つのファイルにまとめます\n"
         "  c : すべて一つのフォルダに出力します\n"
         "  :\"ファイル名\" : パス選別定義ファイルを指定します\n"
         "例えば、/s=1c のように指定してください。\n";
}

std::string PageT() {
  return "/t オプションの詳細 /t=\"書式\"\n"
         "  出力ファイル名の書式を指定します。/t だけの場合は %threadtitle% です。\n"
         "  %threadtitle%  : スレッドタイトル\n"
         "  %num%          : フォルダ内での変換の通し番号\n"
         "  %0<n>num%      : 通し番号(n桁になるまで0を付ける)\n"
         "  %sfilename%    : 入力ファイル名(拡張子を除く)\n"
         "  %boarddirname% : 板のフォルダ名\n"
         "例えば、/t=\"%03num%_%threadtitle%\" のように指定してください。\n";
}

std::string PageTs() {
  return "/ts オプションの詳細 /ts=[日時][-][日時],[c|f|l|m]\n"
         "  日時は YYYYMMDDhhmmss の順に数字で指定します。\n"
         "  Y M D h m s の文字で年 月 日 時 分 秒から指定を始められます。\n"
         "  指定しなかった桁はどの数字にも合います。\n"
         "  - を付けずに一つだけ指定すると、その日時に合うものだけを変換します。\n"
         "  f : 最初の投稿の日時(標準)\n"
         "  l : 最後の投稿の日時(sageを除く)\n"
         "  m : ファイルの更新日時\n"
         "  c : ファイルの作成日時\n"
         "  時刻の範囲は日をまたいでもかまいません(26時のような指定もできます)。\n"
         "例えば、\n"
         "/ts=20060101-20070731,f\n"
         "/ts=-Y2001,l\n"
         "/ts=h1730-,m\n"
         "/ts=h235930-000030\n"
         "/ts=M01D01,c\n"
         "のように指定してください。\n";
}

}  // namespace

std::string ShortUsage(Mode mode) {
  std::string usage = Format(
      "%s [/a/c/ct/d/f/i/js/l/m/mv/o/p/q/r/s/t/ts/u.../z] 入力ﾌｧｲﾙ [出力ﾃﾞｨﾚｸﾄﾘ]\n", kProgramName);
  std::string screen = Header() + Format("%s%s使用法:\n%s\n主要なオプション:\n", "\n", "", usage);
  for (const OptionText& line : OptionTexts(mode)) {
    if (line.main) screen += OptionLine(line.option, line.text);
  }
  screen +=
      Format("使用できるすべてのオプションを表示するには%s /hと入力してください\n", kProgramName);
  return screen;
}

std::string LongUsage(Mode mode) {
  std::string usage = Format(
      "%s [/a/c/ct/d/f/i/js/l/m/mv/o/p/q/r/s/t/ts/u/ur/w/z] infile [outdir]\n", kProgramName);
  std::string screen = Header() + Format("%s%s使用法:\n%sオプション:\n", "\n", "", usage);
  for (const OptionText& line : OptionTexts(mode)) screen += OptionLine(line.option, line.text);
  return screen;
}

std::string HelpPage(std::string_view option, Mode mode) {
  if (option == "a") return PageA();
  if (option == "f") return PageF();
  if (option == "i") return PageI();
  if (option == "js") return PageJs();
  if (option == "m") return PageM(mode);
  if (option == "mv") return PageMv();
  if (option == "o") return PageO();
  if (option == "q") return PageQ();
  if (option == "s") return PageS();
  if (option == "t") return PageT();
  if (option == "ts") return PageTs();
  return "";
}

}  // namespace converter
