#include "monitor/publish/uploader.h"

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/board_urls.h"
#include "monitor/core/message_text.h"

namespace yagura {
namespace {

constexpr std::string_view kKeyPrefix = "postkey=";
constexpr std::string_view kKeyedAddressMark = "&cgiurl=http";
// The three marks of the uploader's page that says a file was taken.
constexpr std::string_view kCentredBlock = "<br><br><div align=center>";
constexpr std::string_view kPageEnd = "</html>";
constexpr std::string_view kFileLink = ">click here!</a></font><br>";
// A status line without its CR LF is shown only this far.
constexpr size_t kShownStatusBytes = 120;

void Detail(Monitor& monitor, std::string_view text) { WriteDetailLog(monitor, text); }

std::string Lower(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return lower;
}

// What differs between the archive's uploads and the page's.
struct UploadKind {
  const char* label;        // "LZH" or "html"
  const char* fileKind;     // "LZHファイル" or "htmlファイル"
  const char* commentKind;  // "dat" or "html"
};

// Up to five attempts for one file; true when the uploader took it.
bool UploadOneFile(Monitor& monitor, FormPoster& poster, const UploadKind& kind,
                   const std::string& path, const std::string& title,
                   const std::string& datFileName, const UploaderAddress& address,
                   const std::string& formData) {
  const std::string label = kind.label;
  const std::string responseFile = monitor.paths.File(".tmp");
  const std::string referer = UploaderReferer(address.url);
  const std::uint16_t port = address.url.starts_with("https") ? 443 : 80;
  for (int attempt = 1; attempt <= kUploadAttempts; ++attempt) {
    if (!common::FileExists(path)) {
      Detail(monitor, "アップロードする" + std::string(kind.fileKind) + "が見つかりません");
      return false;
    }
    Detail(monitor, "\"" + datFileName + "\"の" + kind.fileKind +
                        "をSn Uploaderへアップロードしています...");
    common::RemoveFile(responseFile);
    // Only the response file tells how it went (it stays missing on failure).
    poster.FormRequest("upload", "HTTP/1.1", address.url, port, responseFile, formData, "", referer,
                       "upfile\t" + path, false);
    const std::optional<std::string> failure = JudgeUploadAnswer(responseFile, kind.fileKind);
    if (!failure) {
      Detail(monitor, std::string(kind.fileKind) + "をアップロードしました");
      return true;
    }
    Detail(monitor, *failure);
    if (attempt == kUploadAttempts) {
      Detail(monitor, label + "のアップロード失敗[" + datFileName + "]\"" + title + "\"");
      Detail(monitor, std::to_string(kUploadAttempts) + "回アップロードしましたが全て失敗しました");
    } else {
      Detail(monitor, label + "のアップロードに失敗したのでもう一度アップロードしてみます...");
    }
  }
  return false;
}

}  // namespace

UploaderAddressProblem SplitUploaderAddress(std::string_view setting, UploaderAddress& address) {
  address = {};
  if (setting.empty()) return UploaderAddressProblem::kEmpty;
  if (setting.find("http://") == std::string_view::npos &&
      setting.find("https://") == std::string_view::npos) {
    return UploaderAddressProblem::kIncorrect;
  }
  if (Lower(setting.substr(0, kKeyPrefix.size())) != kKeyPrefix) {
    address.url = std::string(setting);
    return UploaderAddressProblem::kNone;
  }
  // "postkey=KEY&cgiurl=http://...": without the mark the key cannot be
  // told from the address, so the setting is not used.
  const size_t mark = setting.find(kKeyedAddressMark);
  if (mark == std::string_view::npos) return UploaderAddressProblem::kIncorrect;
  address.keyField = std::string(setting.substr(0, mark));
  address.url = std::string(setting.substr(setting.find('=', mark) + 1));
  return UploaderAddressProblem::kNone;
}

std::string UploaderReferer(std::string_view url) {
  const size_t slash = url.rfind('/');
  return slash == std::string_view::npos ? std::string() : std::string(url.substr(0, slash + 1));
}

std::string UploadFormData(std::string_view pass, std::string_view commentKind,
                           std::string_view threadAddress, std::string_view keyField) {
  std::string data = "pass=" + std::string(pass) + "&comment=" + std::string(commentKind) + " " +
                     std::string(threadAddress) + "&jcode=" + kUploadJcode;
  if (!keyField.empty()) data += "&" + std::string(keyField);
  return data;
}

std::optional<std::string> JudgeUploadAnswer(const std::string& responseFile,
                                             std::string_view fileKind) {
  const std::string failed = std::string(fileKind) + "のアップロードに失敗しました[";
  std::optional<std::string> bytes = common::ReadWholeFile(responseFile);
  if (!bytes) return failed + "サーバ接続エラー]";
  const std::string answer = common::Cp932ToUtf8(*bytes);

  // Without a CR LF there is no status line to cut: the answer is refused
  // with the start of its first line.
  const size_t lineEnd = answer.find("\r\n");
  if (lineEnd == std::string::npos) {
    std::string shown = answer.substr(0, answer.find('\n'));
    if (shown.size() > kShownStatusBytes) {
      size_t cut = kShownStatusBytes;
      while (cut > 0 && (static_cast<unsigned char>(shown[cut]) & 0xC0) == 0x80) --cut;
      shown.resize(cut);
    }
    return failed + "HTTPレスポンスエラー:" + shown + "]";
  }
  const std::string statusLine = answer.substr(0, lineEnd);
  if (statusLine.find(" 200 ") == std::string::npos) {
    return failed + "HTTPレスポンスエラー:" + statusLine + "]";
  }

  // Without the empty line the answer has no body, so no mark is found.
  const size_t headEnd = answer.find("\r\n\r\n");
  std::string_view body;
  if (headEnd != std::string::npos) body = std::string_view(answer).substr(headEnd + 4);
  const size_t block = body.find(kCentredBlock);
  if (block == std::string_view::npos) {
    return failed + "html解析エラー1:\"" + std::string(kCentredBlock) + "\"]";
  }
  body.remove_prefix(block);
  const size_t end = body.find(kPageEnd);
  if (end == std::string_view::npos) {
    return failed + "html解析エラー2:\"" + std::string(kPageEnd) + "\"]";
  }
  body = body.substr(0, end + 1);  // up to the "<" of "</html>"
  if (body.find(kFileLink) == std::string_view::npos) {
    return failed + "アップロードエラー:\"" + std::string(kFileLink) + "\"]";
  }
  return std::nullopt;
}

bool UploadArchiveAndPage(Monitor& monitor, FormPoster& poster, const std::string& title,
                          const std::string& datPath) {
  const std::string setting = monitor.form.txtCGIURL.Text();
  UploaderAddress address;
  switch (SplitUploaderAddress(setting, address)) {
    case UploaderAddressProblem::kEmpty:
      Detail(monitor, "Sn UploaderのURLが設定されていません");
      return false;
    case UploaderAddressProblem::kIncorrect:
      Detail(monitor, "Sn UploaderのURLが正しくありません");
      return false;
    case UploaderAddressProblem::kNone:
      break;
  }
  const DatFallNames names = DeriveDatFallNames(datPath);
  const std::string threadAddress = ThreadPageUrl(monitor.form.txtURLBRD.Text(), names.datFileName);
  const std::string pass = monitor.form.txtCGIPASS.Text();

  // The archive's failures cost the page none of its own attempts.
  UploadOneFile(monitor, poster, {"LZH", "LZHファイル", "dat"}, names.archivePath, title,
                names.datFileName, address,
                UploadFormData(pass, "dat", threadAddress, address.keyField));
  return UploadOneFile(monitor, poster, {"html", "htmlファイル", "html"}, names.pagePath, title,
                       names.datFileName, address,
                       UploadFormData(pass, "html", threadAddress, address.keyField));
}

UploadThreadFiles MakeUploadThreadFiles(SocketLayer& sockets, std::string tlsCaFile) {
  return [&sockets, tlsCaFile = std::move(tlsCaFile)](Monitor& monitor, const std::string& title,
                                                      const std::string& datPath) {
    FormPoster poster(monitor, sockets);
    poster.tlsCaFile = tlsCaFile;
    return UploadArchiveAndPage(monitor, poster, title, datPath);
  };
}

}  // namespace yagura
