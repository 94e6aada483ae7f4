#include "monitor/http/form_request.h"

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "common/file_io.h"
#include "monitor/core/activity_log.h"
#include "monitor/core/message_text.h"
#include "monitor/http/http_client.h"
#include "monitor/http/tls_connection.h"

namespace yagura {
namespace {

constexpr std::string_view kCrLf = "\r\n";

std::string WithoutCrLf(std::string_view text) {
  std::string result;
  while (true) {
    size_t at = text.find(kCrLf);
    result.append(text.substr(0, at));
    if (at == std::string_view::npos) return result;
    text.remove_prefix(at + kCrLf.size());
  }
}

bool StartsWithHttps(std::string_view url) { return url.starts_with("https"); }

}  // namespace

std::string FormBoundary(std::time_t now) {
  std::tm local{};
  localtime_r(&now, &local);
  char digits[32];
  std::snprintf(digits, sizeof digits, "%04d%02d%02d%02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  return std::string("boundary_") + digits;
}

std::string AsciiText(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (size_t i = 0; i < utf8.size();) {
    const auto lead = static_cast<unsigned char>(utf8[i]);
    if (lead < 0x80) {
      out.push_back(static_cast<char>(lead));
      ++i;
      continue;
    }
    out.push_back('?');
    // The continuation bytes of a well-formed sequence belong to the same character.
    size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    size_t next = i + 1;
    while (next < i + length && next < utf8.size() &&
           (static_cast<unsigned char>(utf8[next]) & 0xC0) == 0x80) {
      ++next;
    }
    i = next - i == length ? next : i + 1;
  }
  return out;
}

std::optional<std::string> BuildFormRequest(const FormRequestParts& parts) {
  const std::string dq = "\"";
  const std::string fileSpec = WithoutCrLf(parts.fileSpec);
  std::string formData = WithoutCrLf(parts.formData);
  const size_t tab = fileSpec.find('\t');
  const std::string fieldName = fileSpec.substr(0, tab);
  const std::string filePath = tab == std::string::npos ? "" : fileSpec.substr(tab + 1);

  std::error_code error;
  if (filePath.empty() || !std::filesystem::is_regular_file(filePath, error)) return std::nullopt;
  std::optional<std::string> fileBytes = common::ReadWholeFile(filePath);
  if (!fileBytes) return std::nullopt;

  const std::string& boundary = parts.boundary;
  std::string textParts;
  while (formData.find('=') != std::string::npos) {
    const size_t amp = formData.find('&');
    const std::string pair = formData.substr(0, amp);
    formData.erase(0, amp == std::string::npos ? std::string::npos : amp + 1);
    const size_t equals = pair.find('=');
    // A pair without "=" names no field: it is left out.
    if (equals == std::string::npos) continue;
    textParts += "--" + boundary + "\r\n" + "Content-Disposition: form-data; name=" + dq +
                 pair.substr(0, equals) + dq + "\r\n\r\n" + pair.substr(equals + 1) + "\r\n";
  }

  const size_t slash = filePath.find_last_of('/');
  const std::string fileName = slash == std::string::npos ? filePath : filePath.substr(slash + 1);
  const std::string fileHead = "--" + boundary + "\r\n" +
                               "Content-Disposition: form-data; name=" + dq + fieldName + dq +
                               "; filename=" + dq + fileName + dq + "\r\n" +
                               "Content-Type: application/octet-stream\r\n\r\n";
  const std::string closing = "\r\n--" + boundary + "--\r\n";

  const std::string body = AsciiText(textParts + fileHead);
  const std::string closingBytes = AsciiText(closing);
  const size_t contentLength = body.size() + fileBytes->size() + closingBytes.size();
  const std::string referer = parts.referer.empty() ? "" : "Referer: " + parts.referer + "\r\n";
  const std::string head =
      "POST " + UrlPath(parts.url) + " " + parts.version + "\r\n" + "Host: " + UrlHost(parts.url) +
      "\r\n" + "User-Agent: " + parts.userAgent + "\r\n" + referer +
      "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n" +
      "Content-Length: " + std::to_string(contentLength) + "\r\n" + "Connection: close\r\n\r\n";
  std::string request = AsciiText(head);
  request.reserve(request.size() + contentLength);
  request += body;
  request += *fileBytes;
  request += closingBytes;
  return request;
}

int FormPoster::FormRequest(std::string_view method, std::string_view version, std::string_view url,
                            std::uint16_t port, const std::string& responseFile,
                            std::string_view formData, std::string_view agentKey,
                            std::string_view referer, std::string_view extra, bool showErrors) {
  if (method.empty() || version.empty()) return -1;
  FormRequestParts parts;
  parts.version = std::string(version);
  parts.url = std::string(url);
  parts.userAgent = UserAgentFor(agentKey);
  parts.referer = std::string(referer);
  parts.formData = std::string(formData);
  parts.fileSpec = std::string(extra);
  parts.boundary = FormBoundary(monitor_.Now());
  std::optional<std::string> request = BuildFormRequest(parts);
  if (!request) return -1;  // nothing is sent without the file

  const std::string host = UrlHost(url);
  SockResponseRecord response;
  if (StartsWithHttps(url)) {
    // The same bytes over TLS; a refused certificate is worth a line in the
    // log even when the caller shows no socket errors.
    TlsConnection tls(monitor_);
    tls.caFile = tlsCaFile;
    tls.connectTimeoutMilliseconds = sockets_.connectTimeoutMilliseconds;
    tls.receiveTimeoutMilliseconds = sockets_.receiveTimeoutMilliseconds;
    tls.exchangeLimitMilliseconds = exchangeLimitMilliseconds;
    tls.maxResponseBytes = sockets_.maxResponseBytes;
    auto report = [&] {
      WriteDetailLog(monitor_, "https接続に失敗しました[" + host + ": " + tls.ErrorText() + "]");
    };
    for (int attempt = 1;; ++attempt) {
      if (tls.Connect(host, port) == 0) break;
      report();
      if (attempt >= sockets_.RetryCount + 1) return -1;
      WaitWithEvents(monitor_, sockets_.RetryWait);
    }
    if (tls.Exchange(*request) != 0) {
      report();
      return -1;
    }
    response = tls.Response();
  } else {
    for (int attempt = 1;; ++attempt) {
      if (sockets_.SockConnect(host, port) == 0) break;
      if (showErrors) sockets_.SockReportError();
      if (attempt >= sockets_.RetryCount + 1) return -1;  // the layer closed the socket
      WaitWithEvents(monitor_, sockets_.RetryWait);
    }
    const int previousLimit = sockets_.exchangeLimitMilliseconds;
    sockets_.exchangeLimitMilliseconds = exchangeLimitMilliseconds;
    const int exchanged = sockets_.SockExchange("", *request);
    sockets_.exchangeLimitMilliseconds = previousLimit;
    if (exchanged != 0) {
      if (showErrors) sockets_.SockReportError();
      return -1;
    }
    response = sockets_.SockResponse();
  }

  // An answer without the empty line after its headers is kept as it came:
  // adding one would make a body appear that the server never sent.
  const bool hasEmptyLine = response.Whole.find("\r\n\r\n") != std::string::npos;
  const std::string stored = hasEmptyLine ? response.Head + "\r\n" + response.Body : response.Whole;
  // A failed write leaves the old file at worst; the caller then judges that.
  common::ReplaceFileAtomically(responseFile, stored);
  return 0;
}

}  // namespace yagura
