#include "monitor/core/activity_log.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <iostream>
#include <random>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/message_text.h"

namespace yagura {
namespace {

constexpr std::string_view kFullwidthRightParen = "\xEF\xBC\x89";  // "）"

// Drops whole lines from the top of the pane text until it fits.
void AppendToPane(Monitor& monitor, std::string_view message) {
  TextBox& pane = monitor.form.txtLOG;
  auto& units = monitor.log.paneUtf16Units;
  // Someone else may have set the pane (the start-up report): count afresh.
  if (monitor.log.paneRevision != pane.Revision()) units = common::Utf16Length(pane.Text());
  pane.EditText([&](std::string& text) {
    text += "\r\n";
    text += message;
    units += 2 + common::Utf16Length(message);
    size_t cut = 0;
    while (units * 2 > kLogPaneLimitBytes && cut < text.size()) {
      size_t crlf = text.find("\r\n", cut);
      size_t next = crlf == std::string::npos ? cut + 1 : crlf + 2;
      if (crlf == std::string::npos) {
        // No line end left: cut the first character (a whole UTF-8 sequence).
        while (next < text.size() && (static_cast<unsigned char>(text[next]) & 0xC0) == 0x80) {
          ++next;
        }
      }
      units -= common::Utf16Length(std::string_view(text).substr(cut, next - cut));
      cut = next;
    }
    if (cut > 0) text.erase(0, cut);
  });
  monitor.log.paneRevision = pane.Revision();
}

// A log grown to the limit becomes the old log (one generation) and the next
// record starts a new file. The kept file is let go when the path no longer
// names it (rotated, removed or replaced by someone else).
void RotateIfLarge(Monitor::LogState& log, const std::string& logPath, const std::string& oldPath) {
  struct stat st {};
  if (::stat(logPath.c_str(), &st) != 0) {
    log.file.Reset();
    return;
  }
  if (log.file.Valid() && (st.st_dev != log.fileDevice || st.st_ino != log.fileInode)) {
    log.file.Reset();
  }
  if (st.st_size < kLogRotateBytes) return;
  log.file.Reset();
  // The rename is the copy and the removal in one step.
  if (::rename(logPath.c_str(), oldPath.c_str()) == 0) return;
  if (auto bytes = common::ReadWholeFile(logPath)) {
    common::ReplaceFileAtomically(oldPath, *bytes);
  }
  // A failed copy is not checked: the log restarts all the same.
  common::RemoveFile(logPath);
}

// Appends a record through the kept file, opening it when there is none;
// errno tells why it failed.
bool AppendRecord(Monitor::LogState& log, const std::string& logPath, std::string_view bytes) {
  if (!log.file.Valid()) {
    common::UniqueFd fd(::open(logPath.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644));
    struct stat st {};
    if (!fd.Valid() || ::fstat(fd.Get(), &st) != 0) return false;
    log.file = std::move(fd);
    log.fileDevice = st.st_dev;
    log.fileInode = st.st_ino;
  }
  if (common::WriteAll(log.file.Get(), bytes)) return true;
  const int error = errno;
  log.file.Reset();
  errno = error;
  return false;
}

}  // namespace

std::string StatusTextOf(std::string_view message) {
  if (message.find("...(") == std::string_view::npos) return {};
  std::string_view status = message;
  size_t paren = status.find(kFullwidthRightParen);
  if (paren != std::string_view::npos) status = status.substr(paren + kFullwidthRightParen.size());
  size_t open = status.rfind('(');
  if (open != std::string_view::npos) status = status.substr(0, open);
  return std::string(status);
}

std::string DetailLine(const Monitor& monitor, std::string_view text) {
  return std::string(kDetailPrefix) + std::string(text) + "(" + monitor.Time() + ")";
}

void WriteDetailLog(Monitor& monitor, std::string_view text) {
  WriteLog(monitor, DetailLine(monitor, text));
}

std::string EscapeControls(std::string_view message) {
  std::string out;
  out.reserve(message.size());
  for (size_t i = 0; i < message.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(message[i]);
    bool lineEnd = c == '\n' || (c == '\r' && i + 1 < message.size() && message[i + 1] == '\n');
    if ((c < 0x20 && c != '\t' && !lineEnd) || c == 0x7F) {
      static constexpr char kHex[] = "0123456789ABCDEF";
      out += "\\x";
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

void WriteLog(Monitor& monitor, std::string_view rawMessage) {
  // Bytes from a server (ESC sequences, NUL) reach the console and the file
  // only as visible escapes.
  const std::string escaped = EscapeControls(rawMessage);
  const std::string_view message = escaped;
  if (message.substr(0, 6) != "DEBUG[") AppendToPane(monitor, message);

  if (message.find("...(") != std::string_view::npos) {
    monitor.form.Form1.SetCaption(StatusTextOf(message) + " - " + monitor.form.baseTitle);
  }

  monitor.PumpOnce();

  const std::string logPath = monitor.paths.File(".log");
  RotateIfLarge(monitor.log, logPath, monitor.paths.File("_old.log"));

  if (monitor.onLogLine) monitor.onLogLine(message);

  const std::string record =
      LogDateTimeText(monitor.Now()) + "\r\n" + std::string(message) + "\r\n";
  const std::string bytes = common::Utf8ToCp932(record);
  // An unwritable folder must not hang the program: retry for a while after
  // random pauses, then keep the message in the pane only. Once given up,
  // later messages try once until the file can be written again.
  std::mt19937& rng = monitor.log.pauses;
  std::uniform_real_distribution<double> uniform(0.0, 1.0);
  int waited = 0;
  for (;;) {
    if (AppendRecord(monitor.log, logPath, bytes)) {
      monitor.log.fileGivenUp = false;
      return;
    }
    int error = errno;
    if (monitor.log.fileGivenUp || waited >= monitor.log.retryLimitMilliseconds) {
      if (!monitor.log.fileGivenUp) {
        std::cerr << "yagura: cannot write the log file " << logPath << ": " << std::strerror(error)
                  << "; messages stay in the log pane only\n";
      }
      monitor.log.fileGivenUp = true;
      return;
    }
    int pause = static_cast<int>(uniform(rng) * 500) + 100 + static_cast<int>(uniform(rng) * 250);
    WaitWithEvents(monitor, pause);
    waited += ((pause + 499) / 500) * 500;
  }
}

void WaitWithEvents(Monitor& monitor, int milliseconds) {
  if (milliseconds == 0) return;
  do {
    monitor.PumpOnce();
    if (milliseconds < 0) milliseconds = 0;
    if (monitor.clock) monitor.clock->SleepMilliseconds(500);
    milliseconds -= 500;
  } while (milliseconds > 0);
}

}  // namespace yagura
