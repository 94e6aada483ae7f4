// Runs a private copy of the shoin program (so that its folder can hold
// templates of a test's own) and reads the index pages it writes.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"

namespace index_test {

namespace fs = std::filesystem;

inline std::string Quote(const std::string& s) {
  return "'" + std::regex_replace(s, std::regex("'"), "'\\''") + "'";
}

struct Outcome {
  int exitCode = -1;
  std::string output;
};

inline Outcome RunProgram(const std::string& program, const std::vector<std::string>& args) {
  std::string command = Quote(program);
  for (const std::string& arg : args) command += " " + Quote(arg);
  Outcome out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.output.append(buffer, n);
  int status = pclose(pipe);
  out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out;
}

// A log of `posts` posts, the first on day `firstDay` of January 2008 at
// noon, one post an hour after it; the last `sageTail` posts are sage.
inline std::string MakeLog(const std::string& title, int posts, int firstDay, int sageTail = 0,
                           const std::string& firstBody = "本文です") {
  std::string text;
  for (int i = 0; i < posts; ++i) {
    int hour = 12 + i;
    int day = firstDay + hour / 24;
    // 1 January 2008 was a Tuesday; the reader checks the weekday.
    static const char* const kWeekdays[] = {"日", "月", "火", "水", "木", "金", "土"};
    char date[64];
    std::snprintf(date, sizeof date, "2008/01/%02d(%s) %02d:%02d:00", day, kWeekdays[(day + 1) % 7],
                  hour % 24, i % 60);
    bool sage = i >= posts - sageTail;
    text += std::string("名無しさん<>") + (sage ? "sage" : "") + "<>" + date + " ID:abc<>" +
            (i == 0 ? firstBody : "レス" + std::to_string(i + 1)) + "<>" + (i == 0 ? title : "") +
            "\n";
  }
  return common::Utf8ToCp932(text);
}

// The links of an index page, as (href, text) in page order.
inline std::vector<std::pair<std::string, std::string>> Links(const std::string& page) {
  std::string bytes = common::ReadWholeFile(page).value_or("");
  std::string text =
      bytes.find("charset=UTF-8") != std::string::npos ? bytes : common::Cp932ToUtf8(bytes);
  std::vector<std::pair<std::string, std::string>> links;
  std::regex link("<a href=\"([^\"]*)\">([^<]*)</a>");
  for (auto it = std::sregex_iterator(text.begin(), text.end(), link); it != std::sregex_iterator();
       ++it) {
    links.emplace_back((*it)[1], (*it)[2]);
  }
  return links;
}

inline std::string Hrefs(const std::string& page) {
  std::string out;
  for (const auto& [href, text] : Links(page)) out += (out.empty() ? "" : ",") + href;
  return out;
}

}  // namespace index_test
