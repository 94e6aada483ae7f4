#include "lzh/unlha_command.h"

#include <optional>
#include <vector>

#include "lzh/archive_writer.h"

namespace lzh {
namespace {

constexpr int kVersion = 100;
constexpr int kSubVersion = 1;

// Splits at blanks and tabs; double quotes group and are dropped.
std::optional<std::vector<std::string>> Tokenize(const std::string& line) {
  std::vector<std::string> tokens;
  std::string token;
  bool inToken = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inToken = true;
    } else if ((c == ' ' || c == '\t') && !quoted) {
      if (inToken) tokens.push_back(std::move(token));
      token.clear();
      inToken = false;
    } else {
      token.push_back(c);
      inToken = true;
    }
  }
  if (quoted) return std::nullopt;
  if (inToken) tokens.push_back(std::move(token));
  return tokens;
}

bool IsOneOf(const std::string& s, std::initializer_list<const char*> options) {
  for (const char* o : options)
    if (s == o) return true;
  return false;
}

int ResultOf(WriteResult::Status status) {
  switch (status) {
    case WriteResult::Status::kOk:
      return kUnlhaOk;
    case WriteResult::Status::kFileMissing:
      return kUnlhaFileMissing;
    case WriteResult::Status::kReadFailed:
      return kUnlhaReadFailed;
    case WriteResult::Status::kTooLarge:
      return kUnlhaTooLarge;
    case WriteResult::Status::kWriteFailed:
      return kUnlhaWriteFailed;
    case WriteResult::Status::kArchiveIsMember:
      return kUnlhaBadCommand;
  }
  return kUnlhaWriteFailed;
}

}  // namespace

int Unlha(const std::string& commandLine, std::string& output) {
  auto refuse = [&](const std::string& why) {
    output += "error: " + why + "\n";
    return kUnlhaBadCommand;
  };
  std::optional<std::vector<std::string>> tokens = Tokenize(commandLine);
  if (!tokens) return refuse("unbalanced double quote");
  if (tokens->empty()) return refuse("empty command line");
  if ((*tokens)[0] != "a" && (*tokens)[0] != "A") return refuse("unknown command: " + (*tokens)[0]);

  bool keepFolders = true;
  std::vector<std::string> arguments;
  for (size_t i = 1; i < tokens->size(); ++i) {
    const std::string& t = (*tokens)[i];
    if (t.size() > 1 && t[0] == '-') {
      if (IsOneOf(t, {"-x", "-x1"})) {
        keepFolders = true;
      } else if (t == "-x0") {
        keepFolders = false;
      } else if (!IsOneOf(t, {"-a", "-a0", "-a1", "-a2", "-n", "-n0", "-n1", "-n2"})) {
        return refuse("unknown switch: " + t);
      }
      continue;
    }
    arguments.push_back(t);
  }
  if (arguments.empty() || arguments[0].empty()) return refuse("no archive named");
  const std::string archivePath = arguments[0];
  size_t first = 1;
  std::string baseFolder;
  if (arguments.size() > 1 && arguments[1].ends_with('/')) {
    baseFolder = arguments[1];
    first = 2;
  }
  if (first >= arguments.size()) return refuse("no file named");

  std::vector<MemberSource> sources;
  for (size_t i = first; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    MemberSource source;
    source.filePath = name.starts_with('/') ? name : baseFolder + name;
    // Stored names are relative: no leading '/', no "." or ".." parts.
    std::string stored;
    size_t start = 0;
    while (start <= name.size()) {
      size_t end = name.find('/', start);
      if (end == std::string::npos) end = name.size();
      std::string part = name.substr(start, end - start);
      if (!part.empty() && part != "." && part != "..")
        stored += (stored.empty() ? "" : "/") + part;
      start = end + 1;
    }
    if (!keepFolders || name.starts_with('/')) stored = stored.substr(stored.rfind('/') + 1);
    if (stored.empty()) return refuse("not a file name: " + name);
    source.storedPath = stored;
    sources.push_back(std::move(source));
  }

  WriteResult result = WriteArchive(archivePath, sources);
  if (result.status != WriteResult::Status::kOk) {
    output += "error: " + result.message + "\n";
    return ResultOf(result.status);
  }
  for (const MemberReport& m : result.members) {
    output += m.storedPath + " " + m.method + " " + std::to_string(m.originalSize) + " -> " +
              std::to_string(m.packedSize) + " bytes\n";
  }
  return kUnlhaOk;
}

int UnlhaGetVersion() { return kVersion; }
int UnlhaGetSubVersion() { return kSubVersion; }

std::string FormatHundredths(int value) {
  std::string fraction = std::to_string(value % 100);
  if (fraction.size() < 2) fraction.insert(0, "0");
  return std::to_string(value / 100) + "." + fraction;
}

std::string UnlhaVersionText() {
  return FormatHundredths(UnlhaGetVersion()) + "." + FormatHundredths(UnlhaGetSubVersion());
}

}  // namespace lzh
