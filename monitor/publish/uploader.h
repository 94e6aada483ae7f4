// The uploader client: a dropped thread's archive and page go to a web
// uploader CGI, each with five attempts, and the uploader's answer page
// decides whether a file was taken.
//
// Wiring, once at start-up:
//   MakeProcessDroppedThread(monitor, MakeUploadThreadFiles(sockets));
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "monitor/core/monitor.h"
#include "monitor/http/form_request.h"
#include "monitor/http/socket_layer.h"
#include "monitor/publish/dat_fall.h"

namespace yagura {

inline constexpr int kUploadAttempts = 5;
// The fixed field that tells the uploader which encoding the form used.
inline constexpr const char* kUploadJcode = "漢字";

// The address setting split into the address to post to and the upload
// key field ("postkey=KEY" as typed; "" for a plain address).
struct UploaderAddress {
  std::string url;
  std::string keyField;
};

// Why an address setting cannot be used.
enum class UploaderAddressProblem { kNone, kEmpty, kIncorrect };

// Splits "http://..." or "postkey=KEY&cgiurl=http://..." (the prefix in
// any letter case). An https address passes as well.
UploaderAddressProblem SplitUploaderAddress(std::string_view setting, UploaderAddress& address);

// The address up to and including its last "/".
std::string UploaderReferer(std::string_view url);

// "pass=...&comment=dat <thread address>&jcode=漢字" (+ "&" + key field).
std::string UploadFormData(std::string_view pass, std::string_view commentKind,
                           std::string_view threadAddress, std::string_view keyField);

// The verdict on an answer kept in the response file: nullopt when the
// upload was taken, else the message text (without prefix and time).
// `fileKind` is "LZHファイル" or "htmlファイル".
std::optional<std::string> JudgeUploadAnswer(const std::string& responseFile,
                                             std::string_view fileKind);

// Uploads the archive, then the page, of the thread whose log is `datPath`;
// the page upload's result.
bool UploadArchiveAndPage(Monitor& monitor, FormPoster& poster, const std::string& title,
                          const std::string& datPath);

// The uploads bound to the program's socket layer, for the dat-fall step.
// `tlsCaFile` replaces the system's CA store for https uploaders (tests).
UploadThreadFiles MakeUploadThreadFiles(SocketLayer& sockets, std::string tlsCaFile = {});

}  // namespace yagura
