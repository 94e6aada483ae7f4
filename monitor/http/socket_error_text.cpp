// The socket error table and the mapping of POSIX errors onto its codes.
#include <netdb.h>

#include <cerrno>
#include <map>

#include "monitor/http/socket_layer.h"

namespace yagura {

std::string SockErrorText(int code) {
  static const std::map<int, const char*> kTexts = {
      {10004, "呼び出しが取り消された。"},
      {10013, "指定されたアドレスは、ブロードキャストパケットの送信をサポートしていない。"},
      {10014, "32ビットインターネットアドレス指定に誤りがあります。"},
      {10022, "関数の呼び出し順番に誤りがある。"},
      {10024, "利用可能なファイル番号が存在しない。"},
      {10035, "このソケットはノンブロッキング型である。"},
      {10036, "ブロッキング呼び出し進行中。"},
      {10037, "ノンブロッキング型の処理を処理中。"},
      {10038, "ソケット以外を指定した。"},
      {10039, "リモートアドレスが指定されていない。"},
      {10040, "データがバッファより大きいので切りつめられた。"},
      {10041, "ソケットは指定されたプロトコルをサポートしていない。"},
      {10042, "プロトコルのオプションに誤りがある。"},
      {10043, "指定されたプロトコルはサポートされていない。"},
      {10044, "指定されたソケットタイプはサポートされていない。"},
      {10045, "指定されたソケットがサポートしていない操作である。"},
      {10046, "指定されたアドレスファミリがサポートされていない。"},
      {10047, "指定されたプロトコルでは、指定されたアドレスファミリがサポートされていない。"},
      {10048, "指定されたアドレスは使用中。"},
      {10049, "指定されたアドレスは使用できない。"},
      {10050, "ネットワークがダウンしている。"},
      {10051, "リモートホストのネットワークに接続できない。"},
      {10052, "ネットワークから切断された。"},
      {10053, "ネットワーク不良で接続が中止された。"},
      {10054, "リモートホストから切断された。"},
      {10055, "バッファ領域不足。"},
      {10056, "ソケットはすでに接続されている。"},
      {10057, "ソケットが接続されていない。"},
      {10058, "ソケットがシャットダウンされている。"},
      {10060, "接続処理タイムアウト。"},
      {10061, "接続が拒否された。"},
      {10064, "リモートホストがダウンしている。"},
      {10065, "ホストへのルートが存在しない。"},
      {10067, "プロセスが多すぎます。"},
      {10091, "ネットワークサブシステムに通信するための準備ができていない。"},
      {10092, "指定されたバージョンがサポートされていない。"},
      {10093, "WSAStartup関数を呼び出していないか、失敗しています。"},
      {11001, "ホストが見つからない。"},
      {11002, "権限があるホストが見つからない。"},
      {11003, "修復不可能なエラーが発生した。"},
      {11004, "データレコードの型が要求されていない。"},
  };
  auto it = kTexts.find(code);
  if (it != kTexts.end()) return it->second;
  return "不明なエラー。(" + std::to_string(code) + ")";
}

int WinsockCodeForErrno(int error) {
  switch (error) {
    case 0:
      return 0;
    case EINTR:
      return 10004;
    case EACCES:
      return 10013;
    case EFAULT:
      return 10014;
    case EINVAL:
      return 10022;
    case EMFILE:
    case ENFILE:
      return 10024;
    case EWOULDBLOCK:
      return 10035;
    case EINPROGRESS:
      return 10036;
    case EALREADY:
      return 10037;
    case ENOTSOCK:
    case EBADF:
      return 10038;
    case EDESTADDRREQ:
      return 10039;
    case EMSGSIZE:
      return 10040;
    case EPROTOTYPE:
      return 10041;
    case ENOPROTOOPT:
      return 10042;
    case EPROTONOSUPPORT:
      return 10043;
    case ESOCKTNOSUPPORT:
      return 10044;
    case EOPNOTSUPP:
      return 10045;
    case EPFNOSUPPORT:
      return 10046;
    case EAFNOSUPPORT:
      return 10047;
    case EADDRINUSE:
      return 10048;
    case EADDRNOTAVAIL:
      return 10049;
    case ENETDOWN:
      return 10050;
    case ENETUNREACH:
      return 10051;
    case ENETRESET:
      return 10052;
    case ECONNABORTED:
    case EPIPE:
      return 10053;
    case ECONNRESET:
      return 10054;
    case ENOBUFS:
    case ENOMEM:
      return 10055;
    case EISCONN:
      return 10056;
    case ENOTCONN:
      return 10057;
    case ESHUTDOWN:
      return 10058;
    case ETIMEDOUT:
      return 10060;
    case ECONNREFUSED:
      return 10061;
    case EHOSTDOWN:
      return 10064;
    case EHOSTUNREACH:
      return 10065;
    default:
      return error;
  }
}

int WinsockCodeForResolver(int result) {
  switch (result) {
    case 0:
      return 0;
    case EAI_NONAME:
      return 11001;
    case EAI_AGAIN:
      return 11002;
    case EAI_NODATA:
    case EAI_ADDRFAMILY:
      return 11004;
    case EAI_MEMORY:
      return 10055;
    case EAI_SYSTEM:
      return WinsockCodeForErrno(errno);
    default:
      return 11003;
  }
}

}  // namespace yagura
