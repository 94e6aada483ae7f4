#include "converter/options/reporter.h"

#include "common/encoding.h"
#include "common/line_ends.h"

namespace converter {
namespace {

// Console text: every CR LF and lone CR becomes LF.
std::string ForConsole(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] == '\r') {
      if (k + 1 < text.size() && text[k + 1] == '\n') continue;
      out += '\n';
    } else {
      out += text[k];
    }
  }
  return out;
}

}  // namespace

Reporter::Reporter(bool console, const std::string& logPath) : console_(console) {
  // A log file that cannot be created only drops logging.
  if (!logPath.empty()) log_ = std::fopen(logPath.c_str(), "ab");
}

Reporter::~Reporter() {
  if (log_) std::fclose(log_);
}

void Reporter::Say(std::string_view text) {
  if (text.empty()) return;
  if (console_) SayOnConsole(text);
  if (log_) {
    std::string bytes = common::Utf8ToCp932(common::NormalizeToCrLf(text));
    std::fwrite(bytes.data(), 1, bytes.size(), log_);
    std::fflush(log_);
  }
}

void Reporter::SayOnConsole(std::string_view text) {
  std::string out = ForConsole(text);
  std::fwrite(out.data(), 1, out.size(), stdout);
  std::fflush(stdout);
}

}  // namespace converter
