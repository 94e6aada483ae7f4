#include "monitor/core/initialize_window.h"

#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"

namespace yagura {
namespace {

void SetText(TextBox& box, std::string text, std::string toolTip) {
  box.SetText(std::move(text));
  box.SetToolTip(std::move(toolTip));
}

// A box whose hint text is also its tooltip.
void SetHint(TextBox& box, const std::string& text) { SetText(box, text, text); }

}  // namespace

void InitializeWindow(Monitor& monitor) {
  Form& f = monitor.form;
  const std::string hint = kBoardUrlHint;
  SetText(f.txtURLBRD, hint, "板URLを入力してください\"" + hint + "\"");

  f.cmbTIME.SetItems({std::begin(kIntervalEntries), std::end(kIntervalEntries)});
  f.cmbTIME.SetListIndex(kDefaultIntervalIndex);
  f.cmbTIME.SetTag("60");
  f.cmbTIME.SetToolTip("更新確認の間隔。長すぎると全て取得する前にdat落ちしてしまいます");
  monitor.intervalSeconds = 30;
  f.Timer1.SetTag("30");

  const char* const kPairs[] = {"A", "B", "C"};
  for (int i = 0; i < 3; ++i) {
    const std::string pair = kPairs[i];
    f.frameWORD[i].SetCaption("ワード" + pair + "の設定(&" + pair + ")");
    f.frameWORD[i].SetToolTip("ワード" + pair + "1/2がスレタイに含まれるスレッドが処理対象です");
    SetText(f.txtWORD1[i], "", "ワード" + pair + "1");
    SetText(f.txtWORD2[i], "", "ワード" + pair + "2");
    f.chkA[i].SetCaption("検出時：スレッド情報をメールで送信");
    f.chkA[i].SetToolTip("発見したスレッドの情報(>>1の本文など)をメールで送信します");
    f.chkB[i].SetCaption("検出時：datをダウンロード");
    f.chkB[i].SetToolTip(
        "発見したスレッドのdatファイルをダウンロード(既にローカルに存在する場合は差分取得)します");
    f.chkC[i].SetCaption("検出時：ガムテパス情報をメールで送信");
    f.chkC[i].SetToolTip(
        "【未実装】ダウンロードしたdatファイルのレスにガムテパスが書き込まれていた場合、"
        "その情報をメールで送信します");
    f.chkD[i].SetCaption("dat落ち後：CGIでアップロード");
    f.chkD[i].SetToolTip(
        "発見したスレッドがdat落ち/1001まで埋まった/512KBまで埋まった場合、"
        "datファイルをLZH圧縮/html化してCGIでアップロードします");
    f.chkE[i].SetCaption("スレ/パスの情報をTwitterにも投稿");
    f.chkE[i].SetToolTip(
        "スレッド/"
        "ガムテパス【未実装】の情報をメールで送信する場合、同じ情報をTwitterにも投稿します");
  }

  f.frameCGI.SetCaption("アップロードCGIの設定(&S)");
  f.frameCGI.SetToolTip("\"Sn Uploader\"のみ対応完了");
  f.chkCGISnUploader.SetCaption("\"Sn Uploader\"CGIでアップロード");
  SetText(
      f.txtCGIURL, "postkey=アップロード用PASSWORD&cgiurl=http://CGIまでのURL/CGIファイル名.cgi",
      "postkey(アップロード用PASSWORD)が不要の場合、http://CGIまでのURL/CGIファイル名.cgiを指定");
  SetText(f.txtCGIPASS, "削除用PASSWORD",
          "アップロードしたファイルを削除するときに必要になるPASSWORD");
  SetText(f.txtCGIINDEXURL, "アップロード済みファイルリストURL",
          "メール/Twitterに載せるアップロード済みファイルのリストURL");

  f.frameTWITTER.SetCaption("Twitterの設定(&T)");
  SetText(f.txtTWITTERID, "Twitter ID", "投稿用Twitter ID");
  SetText(f.txtTWITTERPW, "Twitter PW", "投稿用Twitter PW");
  // Twitter posting is not offered: its settings are only carried over.
  f.frameTWITTER.SetVisible(false);
  f.txtTWITTERID.SetVisible(false);
  f.txtTWITTERPW.SetVisible(false);

  f.frameMAIL.SetCaption("メールの設定(&M)");
  f.frameMAIL.SetToolTip("送信前にメール総数を取得(POP befor SMTP)するため、POP3の情報が必要");
  SetHint(f.txtMAILFROM, "送信元メールアドレス");
  SetText(f.txtMAILTO, "送信先メールアドレス",
          "送信先メールアドレス(空欄にするとメール処理のみをスキップします。"
          "Twitter投稿有効時、Twitterへ投稿のみ処理します)");
  SetHint(f.txtMAILPOP3HOSTPORT,
          "送信元メールアドレスのPOP3サーバ名:ポート番号(POP befor SMTPで使います)");
  SetHint(f.txtMAILPOP3USER, "送信元メールアドレスのPOP3ユーザ名(POP befor SMTPで使います)");
  SetHint(f.txtMAILPOP3PASS, "送信元メールアドレスのPOP3パスワード(POP befor SMTPで使います)");
  SetHint(f.txtMAILSMTPHOSTPORT, "送信元メールアドレスのSMTPサーバ名:ポート番号");
  SetHint(f.txtMAILSMTPUSER, "送信元メールアドレスのSMTPユーザ名");
  SetHint(f.txtMAILSMTPPASS, "送信元メールアドレスのSMTPパスワード");

  f.MENU_FILE.SetCaption("ファイル(&F)");
  f.MENU_STATUS.SetCaption("ステータス");
  f.MENU_HELP_WINDOWMODE.SetCaption("ウインドウモード変更(&M)");

  for (int i = 0; i < 2; ++i) {
    f.listTHREADSEND[i].Clear();
    f.listDATDL[i].Clear();
    f.listGUMPASS[i].Clear();
  }
  f.txtLOG.SetText("");

  f.cmdNOW.SetCaption("今すぐ実行");
  f.cmdRUN.SetCaption(std::string(kRestPrefix) + "お休み中(" + monitor.Time() + ")");
  SetRunState(monitor, RunState::kStopped);
}

}  // namespace yagura
