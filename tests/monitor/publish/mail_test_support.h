// Helpers of the mail tests: a message box that records, and a mail as
// Python's email package (policy=default) reads it.
#pragma once

#include <string>
#include <vector>

#include "monitor/core/platform.h"

namespace yagura_test {

class RecordingBoxes : public yagura::MessageBoxes {
 public:
  void Show(std::string_view text, std::string_view, yagura::MessageIcon icon) override {
    texts.emplace_back(text);
    icons.push_back(icon);
  }
  std::vector<std::string> texts;
  std::vector<yagura::MessageIcon> icons;
  void Clear() {
    texts.clear();
    icons.clear();
  }
  std::string All() const {
    std::string all;
    for (const auto& t : texts) all += t + "\n";
    return all;
  }
};

struct ParsedMail {
  bool ok = false;
  std::string error;  // Python's complaint when not ok
  std::string subject;
  std::string body;  // decoded, line ends as Python gives them (LF)
  std::string from;
  std::string to;
  std::string xMailer;
  std::string contentType;
  bool hasDate = false;
  bool hasMessageId = false;
};

// Parses a mail as it was received, with /usr/bin/python3's email package.
ParsedMail ParseWithPython(const std::string& rawMail);

}  // namespace yagura_test
