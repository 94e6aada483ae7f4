#include "monitor/core/settings_file.h"

#include <sys/stat.h>

#include <cstdint>

#include "common/encoding.h"
#include "common/file_io.h"
#include "common/line_ends.h"
#include "monitor/core/number_text.h"

namespace yagura {
namespace {

constexpr std::string_view kNone = "%none%";

bool StartsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

bool IsLeadByte(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Splits bytes into lines at CR LF, LF or CR. CP932 never uses these bytes
// inside a double-byte character, so the split is safe on raw bytes.
std::vector<std::string_view> SplitRawLines(std::string_view bytes) {
  std::vector<std::string_view> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find_first_of("\r\n", start);
    if (end == std::string_view::npos) {
      lines.push_back(bytes.substr(start));
      break;
    }
    lines.push_back(bytes.substr(start, end - start));
    start = end + (bytes[end] == '\r' && end + 1 < bytes.size() && bytes[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

bool IsValidCheckValue(int value) { return value >= 0 && value <= 2; }

class SettingsReader {
 public:
  SettingsReader(Monitor& monitor, std::vector<std::string>* problems)
      : f_(monitor.form), problems_(problems) {}

  bool ok() const { return ok_; }

  void Apply(int lineNumber, std::string_view rawLine) {
    lineNumber_ = lineNumber;
    rawLine_ = rawLine;
    const std::string decoded = common::Cp932ToUtf8(rawLine);
    const std::string_view line = decoded;
    if (line.empty() || line[0] == ';') return;
    if (StartsWith(line, "brdurl=")) {
      if (auto v = Value(line)) f_.txtURLBRD.SetText(std::string(*v));
    } else if (StartsWith(line, "checktime=")) {
      if (auto v = Value(line)) {
        int index = LeadingInteger(*v);
        if (index < -1 || index > 4) return Bad("interval index out of range");
        f_.cmbTIME.SetListIndex(index);
      }
    } else if (StartsWith(line, "word")) {
      if (!HasEquals(line)) return;
      if (auto v = Value(line)) ApplyWord(SubKey(line, 4), *v);
    } else if (StartsWith(line, "check")) {
      if (!HasEquals(line)) return;
      if (auto v = Value(line)) ApplyCheck(SubKey(line, 5), *v);
    } else if (StartsWith(line, "cgi")) {
      if (!HasEquals(line)) return;
      if (auto v = Value(line)) ApplyCgi(SubKey(line, 3), *v);
    } else if (StartsWith(line, "twitter")) {
      if (!HasEquals(line)) return;
      if (auto v = Value(line)) ApplyTwitter(SubKey(line, 7), *v);
    } else if (StartsWith(line, "mail")) {
      if (!HasEquals(line)) return;
      if (auto v = Value(line)) ApplyMail(SubKey(line, 4), *v);
    }
  }

 private:
  bool HasEquals(std::string_view line) {
    if (line.find('=') != std::string_view::npos) return true;
    Bad("no \"=\" in the line");
    return false;
  }
  // The value after the first "="; nullopt when it is empty (the control
  // keeps its initial content).
  static std::optional<std::string_view> Value(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos || eq + 1 == line.size()) return std::nullopt;
    return line.substr(eq + 1);
  }
  // The sub-key after the key's group name, including the "=".
  static std::string_view SubKey(std::string_view line, size_t groupLength) {
    size_t eq = line.find('=');
    return line.substr(groupLength, eq + 1 - groupLength);
  }

  void Bad(std::string_view why) {
    ok_ = false;
    if (problems_)
      problems_->push_back("line " + std::to_string(lineNumber_) + ": " + std::string(why));
  }

  // A password value from the file, unscrambled from the line's raw bytes:
  // scrambled bytes need not be valid CP932 text.
  void SetPassword(TextBox& box) {
    auto plain = ScrambleBytes("dec", rawLine_.substr(rawLine_.find('=') + 1));
    if (!plain) return Bad("the password cannot be unscrambled");
    box.SetText(common::Cp932ToUtf8(*plain));
  }

  void ApplyWord(std::string_view sub, std::string_view value) {
    if (sub.size() != 3 || sub[2] != '=') return;
    int pair = sub[0] - 'a';
    if (pair < 0 || pair > 2) return;
    if (sub[1] == '1') f_.txtWORD1[pair].SetText(std::string(value));
    if (sub[1] == '2') f_.txtWORD2[pair].SetText(std::string(value));
  }

  void ApplyCheck(std::string_view sub, std::string_view value) {
    if (sub.size() != 3 || sub[2] != '=') return;
    int pair = sub[0] - 'a';
    int box = sub[1] - '1';
    if (pair < 0 || pair > 2 || box < 0 || box > 4) return;
    int v = LeadingInteger(value);
    if (!IsValidCheckValue(v)) return Bad("check box value other than 0, 1 or 2");
    std::array<CheckBox, 3>* boxes[] = {&f_.chkA, &f_.chkB, &f_.chkC, &f_.chkD, &f_.chkE};
    (*boxes[box])[pair].SetValue(v);
  }

  void ApplyCgi(std::string_view sub, std::string_view value) {
    if (sub == "type=") {
      int v = LeadingInteger(value);
      if (!IsValidCheckValue(v)) return Bad("check box value other than 0, 1 or 2");
      f_.chkCGISnUploader.SetValue(v);
    } else if (sub == "url=") {
      f_.txtCGIURL.SetText(std::string(value));
    } else if (sub == "pass=") {
      SetPassword(f_.txtCGIPASS);
    } else if (sub == "indexurl=") {
      f_.txtCGIINDEXURL.SetText(std::string(value));
    }
  }

  void ApplyTwitter(std::string_view sub, std::string_view value) {
    if (sub == "id=") f_.txtTWITTERID.SetText(std::string(value));
    if (sub == "pw=") SetPassword(f_.txtTWITTERPW);
  }

  void ApplyMail(std::string_view sub, std::string_view value) {
    if (sub == "from=") {
      f_.txtMAILFROM.SetText(std::string(value));
    } else if (sub == "to=") {
      // An empty recipient is stored as "%none%": an empty value would bring
      // the hint text back.
      f_.txtMAILTO.SetText(value == kNone ? std::string() : std::string(value));
    } else if (sub == "pop3hostport=") {
      f_.txtMAILPOP3HOSTPORT.SetText(std::string(value));
    } else if (sub == "pop3user=") {
      f_.txtMAILPOP3USER.SetText(std::string(value));
    } else if (sub == "pop3pass=") {
      SetPassword(f_.txtMAILPOP3PASS);
    } else if (sub == "smtphostport=") {
      f_.txtMAILSMTPHOSTPORT.SetText(std::string(value));
    } else if (sub == "smtpuser=") {
      f_.txtMAILSMTPUSER.SetText(std::string(value));
    } else if (sub == "smtppass=") {
      SetPassword(f_.txtMAILSMTPPASS);
    }
  }

  Form& f_;
  std::vector<std::string>* problems_;
  int lineNumber_ = 0;
  std::string_view rawLine_;
  bool ok_ = true;
};

}  // namespace

std::optional<std::string> ScrambleBytes(std::string_view mode, std::string_view cp932) {
  if (mode.size() != 3) return std::string();
  std::string lower;
  for (char c : mode) lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  const int shift = lower == "enc" ? -10 : lower == "dec" ? 10 : 0;
  if (shift == 0) return std::string();
  std::string out;
  for (size_t i = 0; i < cp932.size();) {
    const auto first = static_cast<unsigned char>(cp932[i]);
    if (IsLeadByte(first) && i + 1 < cp932.size()) {
      // A double-byte character: its two bytes as one code (negative as a
      // signed 16-bit number; the shift works the same on the bytes).
      const int code = first * 256 + static_cast<unsigned char>(cp932[i + 1]) + shift;
      const auto lead = static_cast<unsigned char>(code >> 8);
      if (!IsLeadByte(lead)) return std::nullopt;
      out.push_back(static_cast<char>(lead));
      out.push_back(static_cast<char>(code & 0xFF));
      i += 2;
      continue;
    }
    const int code = first + shift;
    // No such character: below 0, beyond one byte, a lone lead byte, or a
    // NUL or line end that would break the file's lines.
    if (code < 1 || code > 0xFF || code == '\r' || code == '\n' ||
        IsLeadByte(static_cast<unsigned char>(code))) {
      return std::nullopt;
    }
    out.push_back(static_cast<char>(code));
    ++i;
  }
  return out;
}

std::optional<std::string> ScrambleTextChecked(std::string_view mode, std::string_view text) {
  std::string bytes;
  if (!common::EncodeFromUtf8(text, common::Charset::kCp932, bytes)) return std::nullopt;
  auto shifted = ScrambleBytes(mode, bytes);
  if (!shifted) return std::nullopt;
  // As text, the shifted bytes must be characters that convert back exactly.
  std::string utf8 = common::Cp932ToUtf8(*shifted);
  std::string back;
  if (!common::EncodeFromUtf8(utf8, common::Charset::kCp932, back) || back != *shifted) {
    return std::nullopt;
  }
  return utf8;
}

std::string ScrambleText(std::string_view mode, std::string_view text) {
  return ScrambleTextChecked(mode, text).value_or(std::string());
}

std::string IntervalIndexText(int index) {
  return index >= 0 ? " " + std::to_string(index) : std::to_string(index);
}

bool SaveSettings(Monitor& monitor, std::vector<std::string>* problems) {
  if (monitor.settingsNotWritable) return true;
  const Form& f = monitor.form;
  const std::string title = f.baseTitle.empty() ? BaseTitleText() : f.baseTitle;
  const std::string head = ";---" + title + " 設定ファイル";
  bool ok = true;
  std::string bytes;  // CP932
  auto line = [&](const std::string& text) { bytes += common::Utf8ToCp932(text) + "\r\n"; };
  // Password lines are built from bytes: a scrambled password need not be
  // valid CP932 text. One that cannot be scrambled is left empty rather than
  // losing the whole file.
  auto password = [&](std::string_view key, const TextBox& box) {
    auto s = ScrambleBytes("enc", common::Utf8ToCp932(box.Text()));
    if (!s) {
      ok = false;
      if (problems) problems->push_back(std::string(key) + ": the password cannot be scrambled");
    }
    bytes += std::string(key) + "=" + s.value_or("") + "\r\n";
  };
  line(head);
  line(";板URL");
  line("brdurl=" + f.txtURLBRD.Text());
  line(";更新確認間隔");
  line("checktime=" + IntervalIndexText(f.cmbTIME.ListIndex()));
  const char* const kPairNames[] = {"A", "B", "C"};
  for (int i = 0; i < 3; ++i) {
    const std::string letter(1, static_cast<char>('a' + i));
    line(std::string(";ワード") + kPairNames[i] + "の設定");
    line("word" + letter + "1=" + f.txtWORD1[i].Text());
    line("word" + letter + "2=" + f.txtWORD2[i].Text());
    const CheckBox* boxes[] = {&f.chkA[i], &f.chkB[i], &f.chkC[i], &f.chkD[i], &f.chkE[i]};
    for (int b = 0; b < 5; ++b) {
      line("check" + letter + std::to_string(b + 1) + "=" + std::to_string(boxes[b]->Value()));
    }
  }
  line(";アップロードCGIの設定");
  line("cgitype=" + std::to_string(f.chkCGISnUploader.Value()));
  line("cgiurl=" + f.txtCGIURL.Text());
  password("cgipass", f.txtCGIPASS);
  line("cgiindexurl=" + f.txtCGIINDEXURL.Text());
  line(";メールの設定");
  line("mailfrom=" + f.txtMAILFROM.Text());
  line("mailto=" + (f.txtMAILTO.Text().empty() ? std::string(kNone) : f.txtMAILTO.Text()));
  line("mailpop3hostport=" + f.txtMAILPOP3HOSTPORT.Text());
  line("mailpop3user=" + f.txtMAILPOP3USER.Text());
  password("mailpop3pass", f.txtMAILPOP3PASS);
  line("mailsmtphostport=" + f.txtMAILSMTPHOSTPORT.Text());
  line("mailsmtpuser=" + f.txtMAILSMTPUSER.Text());
  password("mailsmtppass", f.txtMAILSMTPPASS);
  line(head);

  const std::string path = monitor.paths.File(".ini");
  if (!common::ReplaceFileAtomically(path, bytes, 0600)) {
    if (problems) problems->push_back(path + ": cannot be written");
    return false;
  }
  // The file holds passwords: an older file readable by others is narrowed.
  struct stat st {};
  if (::stat(path.c_str(), &st) == 0 && (st.st_mode & 077) != 0) ::chmod(path.c_str(), 0600);
  return ok;
}

bool LoadSettings(Monitor& monitor, std::vector<std::string>* problems) {
  const std::string path = monitor.paths.File(".ini");
  auto bytes = common::ReadWholeFile(path);
  if (!bytes) {
    if (problems) problems->push_back(path + ": cannot be read");
    return false;
  }
  // Lines may end in CR LF, LF or CR (a file edited by hand).
  SettingsReader reader(monitor, problems);
  int number = 0;
  for (std::string_view line : SplitRawLines(*bytes)) reader.Apply(++number, line);
  return reader.ok();
}

}  // namespace yagura
