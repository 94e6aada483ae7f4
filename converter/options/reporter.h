// Where the converter's messages go: the console (UTF-8) and, with /l or /v,
// the log file "shoin_log.txt" in the program's folder (CP932, CR LF).
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

namespace converter {

class Reporter {
 public:
  // console: messages reach stdout; logPath: "" for no log file.
  Reporter(bool console, const std::string& logPath);
  ~Reporter();
  Reporter(const Reporter&) = delete;
  Reporter& operator=(const Reporter&) = delete;

  // A message (UTF-8) as the program words it, line ends included. The
  // console gets LF line ends, the log file CR LF.
  void Say(std::string_view text);
  // A message for the console only, even in log-only mode.
  void SayOnConsole(std::string_view text);

  bool console() const { return console_; }
  bool logging() const { return log_ != nullptr; }

 private:
  bool console_;
  std::FILE* log_ = nullptr;
};

}  // namespace converter
