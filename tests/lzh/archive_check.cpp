#include "tests/lzh/archive_check.h"

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "common/file_io.h"
#include "lzh/crc16.h"

namespace lzh_test {

TempFolder::TempFolder() {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern =
      std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/lzh_test_XXXXXX";
  char* made = ::mkdtemp(pattern.data());
  path_ = made != nullptr ? made : "";
}

TempFolder::~TempFolder() {
  std::error_code ec;
  if (!path_.empty()) std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::Write(const std::string& name, const std::string& bytes, long mtime) const {
  std::string file = path_ + "/" + name;
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  std::ofstream(file, std::ios::binary)
      .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  std::filesystem::last_write_time(file,
                                   std::filesystem::file_time_type::clock::from_sys(
                                       std::chrono::sys_seconds{std::chrono::seconds{mtime}}));
  return file;
}

CommandResult RunShell(const std::string& command) {
  CommandResult result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  std::array<char, 4096> buffer;
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0)
    result.output.append(buffer.data(), n);
  int status = ::pclose(pipe);
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

namespace {

// lhasa separates its progress lines with CR.
bool HasLine(const std::string& output, const std::string& wanted) {
  size_t start = 0;
  while (start <= output.size()) {
    size_t end = output.find_first_of("\r\n", start);
    if (end == std::string::npos) end = output.size();
    std::string line = output.substr(start, end - start);
    while (!line.empty() && line.back() == ' ') line.pop_back();
    if (line == wanted) return true;
    start = end + 1;
  }
  return false;
}

long MtimeOf(const std::string& file) {
  struct stat st {};
  return ::stat(file.c_str(), &st) == 0 ? static_cast<long>(st.st_mtime) : -1;
}

}  // namespace

std::string CheckWithReaders(const std::string& archive, const std::string& storedName,
                             const std::string& original, long mtime, const TempFolder& temp) {
  std::string problems;
  const std::string a = ShellQuote(archive);
  const std::string originalFile = temp.path() + "/original.bin";
  if (!common::ReplaceFileAtomically(originalFile, original)) return "cannot write the original";
  const std::string o = ShellQuote(originalFile);

  CommandResult tested = RunShell("lhasa t " + a);
  if (tested.exitCode != 0 || !HasLine(tested.output, storedName + "\t- Tested"))
    problems += "lhasa t: " + tested.output + "\n";
  if (RunShell("lhasa pq " + a + " | cmp - " + o).exitCode != 0) problems += "lhasa pq differs\n";
  CommandResult sevenTest = RunShell("7z t " + a);
  if (sevenTest.exitCode != 0) problems += "7z t: " + sevenTest.output + "\n";
  if (RunShell("7z e -so " + a + " 2>/dev/null | cmp - " + o).exitCode != 0)
    problems += "7z e -so differs\n";

  // Extraction into fresh folders shows the stored name and time.
  for (const std::string reader : {"lhasa", "7z"}) {
    const std::string out = temp.path() + "/extract_" + reader;
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    CommandResult x = reader == "lhasa" ? RunShell("cd " + ShellQuote(out) + " && lhasa xq " + a)
                                        : RunShell("7z x -y -o" + ShellQuote(out) + " " + a);
    const std::string extracted = out + "/" + storedName;
    std::optional<std::string> bytes = common::ReadWholeFile(extracted);
    if (x.exitCode != 0 || !bytes || *bytes != original)
      problems += reader + " x: no exact " + storedName + ": " + x.output + "\n";
    else if (MtimeOf(extracted) != mtime)
      problems += reader + " x: time " + std::to_string(MtimeOf(extracted)) + " instead of " +
                  std::to_string(mtime) + "\n";
  }
  std::filesystem::remove(originalFile);
  return problems;
}

namespace {

uint32_t Get16(const std::string& s, size_t at) {
  return static_cast<uint8_t>(s[at]) |
         (static_cast<uint32_t>(static_cast<uint8_t>(s[at + 1])) << 8);
}
uint32_t Get32(const std::string& s, size_t at) { return Get16(s, at) | (Get16(s, at + 2) << 16); }

}  // namespace

std::optional<std::vector<ParsedMember>> ParseArchive(const std::string& archive) {
  std::vector<ParsedMember> members;
  size_t at = 0;
  for (;;) {
    if (at >= archive.size()) return std::nullopt;  // no end mark
    if (archive[at] == '\0')
      return at + 1 == archive.size() ? std::optional(members) : std::nullopt;
    if (at + 26 > archive.size()) return std::nullopt;
    ParsedMember m;
    m.headerSize = Get16(archive, at);
    if (m.headerSize < 26 || at + m.headerSize > archive.size()) return std::nullopt;
    const std::string header = archive.substr(at, m.headerSize);
    m.method = header.substr(2, 5);
    m.packedSize = Get32(header, 7);
    m.originalSize = Get32(header, 11);
    m.modifiedTime = Get32(header, 15);
    m.level = static_cast<uint8_t>(header[20]);
    m.dataCrc = static_cast<uint16_t>(Get16(header, 21));
    m.osId = header[23];
    size_t next = Get16(header, 24), ext = 26;
    std::string zeroed = header;
    uint32_t storedCrc = 0;
    bool haveCrc = false;
    while (next != 0) {
      if (next < 3 || ext + next > header.size()) return std::nullopt;
      const uint8_t type = static_cast<uint8_t>(header[ext]);
      m.extensions[type] = header.substr(ext + 1, next - 3);
      if (type == 0x00 && next >= 5) {
        storedCrc = Get16(header, ext + 1);
        zeroed[ext + 1] = zeroed[ext + 2] = '\0';
        haveCrc = true;
      }
      ext += next;
      next = Get16(header, ext - 2);
    }
    // Readers walk the extensions to find the data, so they must end
    // exactly where the header size says.
    if (ext != header.size()) return std::nullopt;
    m.headerCrcMatches = haveCrc && lzh::Crc16(zeroed) == storedCrc;
    if (at + m.headerSize + m.packedSize > archive.size()) return std::nullopt;
    m.data = archive.substr(at + m.headerSize, m.packedSize);
    at += m.headerSize + m.packedSize;
    members.push_back(std::move(m));
  }
}

}  // namespace lzh_test
