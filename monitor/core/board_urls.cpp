#include "monitor/core/board_urls.h"

namespace yagura {
namespace {

std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to) {
  std::string result;
  size_t pos = 0;
  while (true) {
    size_t hit = text.find(from, pos);
    if (hit == std::string_view::npos) break;
    result.append(text.substr(pos, hit - pos));
    result.append(to);
    pos = hit + from.size();
  }
  result.append(text.substr(pos));
  return result;
}

// "https://" for an https address, else "http://".
std::string SchemeOf(std::string_view url) {
  return url.starts_with("https://") ? "https://" : "http://";
}

// The text after the first "//" (the whole text without one).
std::string_view AfterScheme(std::string_view url) {
  size_t slashes = url.find("//");
  return slashes == std::string_view::npos ? url : url.substr(slashes + 2);
}

}  // namespace

bool IsSingleSegmentBoardUrl(std::string_view boardUrl) {
  const size_t scheme = boardUrl.find("://");
  if (scheme == std::string_view::npos) return false;
  const std::string_view rest = boardUrl.substr(scheme + 3);
  const size_t hostEnd = rest.find('/');
  if (hostEnd == 0 || hostEnd == std::string_view::npos) return false;
  const std::string_view board = rest.substr(hostEnd + 1);
  // "board/": one non-empty segment and its closing slash.
  return board.size() >= 2 && board.find('/') == board.size() - 1;
}

std::string ThreadPageUrl(std::string_view boardUrl, std::string_view datFileName) {
  std::string_view s = AfterScheme(boardUrl);
  size_t last = s.rfind('/');
  if (last != std::string_view::npos) s = s.substr(0, last);
  std::string page = SchemeOf(boardUrl) + ReplaceAll(s, "/", "/test/read.cgi/") + "/";
  std::string_view name = datFileName;
  if (name.ends_with(".dat")) name.remove_suffix(4);
  page.append(name);
  page += "/";
  return page;
}

std::string DatUrlFromPage(std::string_view threadPageUrl) {
  std::string_view s = AfterScheme(threadPageUrl);
  size_t firstSlash = s.find('/');
  std::string prefix =
      SchemeOf(threadPageUrl) +
      std::string(s.substr(
          0, firstSlash == std::string_view::npos ? std::string_view::npos : firstSlash + 1));
  constexpr std::string_view kReadCgi = "/read.cgi/";
  size_t readCgi = s.find(kReadCgi);
  std::string rest = readCgi == std::string_view::npos
                         ? std::string()
                         : ReplaceAll(s.substr(readCgi + kReadCgi.size()), "/", "/dat/");
  size_t lastDat = rest.rfind("/dat/");
  if (lastDat != std::string::npos) rest.replace(lastDat, 5, ".dat");
  return prefix + rest;
}

}  // namespace yagura
