// The two URLs a board serves for a thread, derived from the board URL and
// the dat file name (key + ".dat").
#pragma once

#include <string>
#include <string_view>

namespace yagura {

// True for an address of the form scheme "://" server "/" board "/": the
// only form the thread addresses can be derived from (a board one folder
// deeper would send every request to a nonsense address).
bool IsSingleSegmentBoardUrl(std::string_view boardUrl);

// scheme + "://" + server + "/test/read.cgi/" + board + "/" + key + "/": the
// board's scheme (http or https) and port are kept.
std::string ThreadPageUrl(std::string_view boardUrl, std::string_view datFileName);
// scheme + "://" + server + "/" + board + "/dat/" + key + ".dat", the
// scheme of the page address.
std::string DatUrlFromPage(std::string_view threadPageUrl);

}  // namespace yagura
