#include "converter/options/command_line.h"

#include <sys/stat.h>
#include <unistd.h>
#include <cctype>
#include <climits>
#include <filesystem>

#include "converter/options/help_pages.h"
#include "converter/options/packed_values.h"
#include "converter/options/paths.h"

namespace converter {
namespace {

bool IsLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }
bool IsSeparator(char c) { return c == ':' || c == '=' || c == '-'; }

char Lower(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// Character n of the argument, 0 past its end.
char At(const std::string& arg, size_t n) { return n < arg.size() ? arg[n] : 0; }

// Option name as matched: a known two-letter name, else the first letter.
std::string OptionName(const std::string& arg, Mode mode) {
  if (IsLetter(At(arg, 2))) {
    std::string two{Lower(arg[1]), Lower(arg[2])};
    if (two == "ct" || two == "mv" || two == "ts" || two == "js") return two;
    if (two == "ur" && mode == Mode::kSkin) return two;
    if ((two == "sp" || two == "st") && mode == Mode::kPlainText) return two;
  }
  return std::string(1, Lower(arg[1]));
}

// "%desktop%" and "%personal%" at the start of a path.
std::string ExpandFolderWords(const std::string& path, const PathContext& context) {
  auto startsWith = [&](std::string_view word) {
    if (path.size() < word.size()) return false;
    for (size_t k = 0; k < word.size(); ++k) {
      if (Lower(path[k]) != word[k]) return false;
    }
    return true;
  };
  if (startsWith("%desktop%")) return context.desktop + path.substr(9);
  if (startsWith("%personal%")) return context.documents + path.substr(10);
  return path;
}

bool IsFolder(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFile(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

class Parser {
 public:
  Parser(const PathContext& context, Options& cmd) : context_(context), cmd_(cmd) {}

  ParseResult Parse(const std::vector<std::string>& args);

 private:
  // False when the option ends the run (help page, invalid value).
  bool ApplyOption(const std::string& arg);
  bool ResolveInput(const std::string& raw);
  bool ResolveOutput();
  std::string PathValue(const std::string& value) const {
    return AbsolutePath(ExpandFolderWords(Unquote(value), context_), context_.currentFolder);
  }
  void Exit(int code) {
    result_.run = false;
    result_.exitCode = code;
  }

  const PathContext& context_;
  Options& cmd_;
  ParseResult result_;
  std::vector<std::string> positional_;
};

ParseResult Parser::Parse(const std::vector<std::string>& args) {
  if (args.empty()) {
    result_.screen = ShortUsage(cmd_.mode);
    Exit(1);
    return result_;
  }
  // A lone "-h..." is always the request; "/h..." only in option form, since
  // "/home/..." is a path here.
  if (args.size() == 1 && ((LooksLikeOption(args[0]) && Lower(args[0][1]) == 'h') ||
                           (args[0].size() >= 2 && args[0][0] == '-' && Lower(args[0][1]) == 'h') ||
                           args[0] == "/help" || args[0] == "--help")) {
    result_.screen = LongUsage(cmd_.mode);
    Exit(1);
    return result_;
  }
  cmd_.mode = ModeOfArguments(args);
  // The default /m ends in digit 0, whose bit 9.4 means #<number> links in skin mode.
  if (cmd_.mode == Mode::kSkin) cmd_.m.nametargetR = false;
  for (const std::string& arg : args) {
    if (LooksLikeOption(arg)) {
      if (!ApplyOption(arg)) return result_;
    } else if (arg.size() >= 2 && arg[0] == '-') {
      // A '/' that is no option starts an absolute path here; a '-' is refused.
      result_.messages += arg + " は無効なオプションです.\n";
      Exit(1);
      return result_;
    } else {
      positional_.push_back(arg);  // a third and later one is ignored
    }
  }
  if (cmd_.mode == Mode::kSkin && cmd_.skinPath.empty()) {
    result_.messages += "スキンファイルのパスを指定してください。\n";
    Exit(1);
    return result_;
  }
  if (positional_.empty()) {
    result_.messages += "ファイル名を指定してください.\n";
    Exit(1);
    return result_;
  }
  if (!ResolveInput(positional_[0]) || !ResolveOutput()) return result_;
  result_.run = true;
  return result_;
}

bool Parser::ApplyOption(const std::string& arg) {
  const std::string name = OptionName(arg, cmd_.mode);
  // The value follows one separator: after the 3rd character of a one-letter
  // form, after the 4th of a two-letter form.
  const bool twoLetterForm = IsLetter(At(arg, 2));
  const size_t sepAt = twoLetterForm ? 3 : 2;
  const char separator = At(arg, sepAt);
  const std::string value = arg.size() > sepAt + 1 ? arg.substr(sepAt + 1) : std::string();
  const bool hasValue = separator != 0 && !value.empty();

  static const char* const kHelpPages[] = {"a", "f", "i", "js", "m", "mv",
                                           "o", "q", "s", "t",  "ts"};
  if (separator == '-' &&
      (value == "h" || (value == "H" && (name == "i" || name == "mv" || name == "ts")))) {
    for (const char* page : kHelpPages) {
      if (name == page) {
        result_.screen = HelpPage(name, cmd_.mode);
        Exit(1);
        return false;
      }
    }
  }

  if (name == "ct") {
    cmd_.ct = true;
  } else if (name == "ur") {
    cmd_.ur = true;
  } else if (name == "sp") {
    cmd_.sp = true;
  } else if (name == "st") {
    cmd_.st = true;
  } else if (name == "mv") {
    cmd_.move = true;
    // "::r" is looked for from the separator on, so that /mv::r (no path, its
    // first ':' doubling as the separator) asks for the companions too.
    std::string rest = arg.size() > sepAt ? arg.substr(sepAt) : std::string();
    if (rest.size() >= 3 && rest.compare(rest.size() - 3, 3, "::r") == 0) {
      cmd_.moveRelated = true;
      rest.resize(rest.size() - 3);
    }
    const std::string path = rest.size() > 1 ? rest.substr(1) : std::string();
    if (!Unquote(path).empty()) cmd_.movePath = WithTrailingSlash(PathValue(path));
  } else if (name == "ts") {
    ApplyDateFilter(value, cmd_.ts);
  } else if (name == "js") {
    if (cmd_.mode == Mode::kStandard) {
      if (hasValue) {
        ApplyJsValue(value, cmd_);
      } else {
        ApplyBareJs(cmd_);
      }
    }
  } else if (name == "c") {
    cmd_.c = true;
  } else if (name == "i") {
    ApplyIndexValue(arg[1] == 'I', separator, value, cmd_.i);
  } else if (name == "m") {
    if (hasValue) {
      ApplyMValue(value, cmd_.mode, cmd_);
    } else {
      ApplyBareM(cmd_);
    }
  } else if (name == "o") {
    if (!hasValue) {
      result_.messages += "/o オプションの指定が無効です.\n";
      Exit(1);
      return false;
    }
    ApplyOWord(ReadOValue(value), cmd_.o);
  } else if (name == "f") {
    if (hasValue && value[0] >= '0' && value[0] <= 'z') cmd_.forcedKind = value[0];
  } else if (name == "t") {
    cmd_.titleFormatGiven = true;
    if (separator == 0) {
      cmd_.fileNameFormat = "%threadtitle%";
    } else {
      cmd_.fileNameFormat = Unquote(value);
      if (cmd_.fileNameFormat.empty()) {
        result_.messages += "/t: 出力ファイル名の書式指定がありません．\n";
        Exit(1);
        return false;
      }
    }
  } else if (name == "p" && cmd_.mode == Mode::kSkin) {
    std::string path = Unquote(value);
    cmd_.skinPath = path.empty() ? "" : WithTrailingSlash(PathValue(value));
  } else if (name == "w" && cmd_.mode == Mode::kSkin) {
    cmd_.uploadUrl = Unquote(value);
    if (!cmd_.uploadUrl.empty() && cmd_.uploadUrl.back() != '/') cmd_.uploadUrl += '/';
  } else if (name == "s") {
    ApplySubfolders(twoLetterForm ? value : arg.substr(2), cmd_);
  } else if (name == "a") {
    if (!ApplyFolderLetters(value, cmd_))
      result_.messages += "注意:/a オプションの指定が無効です。\n";
  } else if (name == "r") {
    ApplyRange(value, cmd_);
  } else if (name == "d") {
    long long parts = 0;
    for (size_t k = 0;
         k < value.size() && k < 10 && std::isdigit(static_cast<unsigned char>(value[k])); ++k) {
      parts = parts * 10 + (value[k] - '0');
    }
    cmd_.partSize = parts;
  } else if (name == "v") {
    char second = Lower(At(arg, 2));
    cmd_.v = second == 'f' ? ReportMode::kVf : second == 'o' ? ReportMode::kVo : ReportMode::kV;
  } else if (name == "q") {
    cmd_.query = true;
    if (separator == 0) {
      cmd_.queryFromFile = true;
    } else {
      cmd_.queryText = Unquote(value);
      if (cmd_.queryText.empty()) cmd_.queryFromFile = true;
    }
  } else if (name == "z") {
    cmd_.z = true;
  } else if (name == "l") {
    cmd_.l = true;
  } else if (name == "u") {
    cmd_.u = true;
  } else if (name == "x") {
    cmd_.x = true;
  } else if (name == "n") {
    std::string title = Unquote(value);
    if (title.size() > 500) {
      size_t cut = 500;
      while (cut > 0 && (static_cast<unsigned char>(title[cut]) & 0xC0) == 0x80) --cut;
      title.resize(cut);
    }
    cmd_.indexTitle = title;
  } else {
    result_.messages += arg + " は無効なオプションです.\n";
    Exit(1);
    return false;
  }
  return true;
}

bool Parser::ResolveInput(const std::string& raw) {
  std::string word = Unquote(raw);
  if (word == "NULL") {
    cmd_.inputNull = true;
    cmd_.inputKind = InputKind::kNone;
    cmd_.partSize = 0;
    cmd_.move = false;
    return true;
  }
  std::string path = PathValue(raw);
  if (path.size() >= PATH_MAX) {
    result_.messages += word + ":入力ファイルを開けません。\n";
    Exit(1);
    return false;
  }
  std::string folder = FolderOf(path);
  std::string name = FileNameOf(path);
  if (cmd_.mode != Mode::kStandard && name.find(".log") != std::string::npos) {
    result_.messages += "logファイルには対応しておりません。すみません。\n";
    Exit(1);
    return false;
  }
  cmd_.inputPath = path;
  if (name.find_first_of("?*") != std::string::npos) {
    if (!IsFolder(folder)) {
      result_.messages += folder + ":ディレクトリが見つかりません。\n";
      Exit(1);
      return false;
    }
    cmd_.inputKind = InputKind::kPattern;
  } else if (IsFolder(path)) {
    cmd_.inputKind = InputKind::kFolder;
    cmd_.inputPath = WithTrailingSlash(path);
  } else if (IsFile(path)) {
    cmd_.inputKind = InputKind::kFile;
  } else if (!IsFolder(folder)) {
    result_.messages += folder + ":ディレクトリが見つかりません。\n";
    Exit(1);
    return false;
  } else {
    result_.messages += path + ":入力ファイルを開けません。\n";
    Exit(1);
    return false;
  }
  return true;
}

bool Parser::ResolveOutput() {
  std::string folder;
  if (positional_.size() >= 2) {
    if (Unquote(positional_[1]) == "NULL") {
      cmd_.outputNull = true;
      cmd_.outputFolder.clear();
      cmd_.partSize = 0;
      cmd_.i.enabled = false;
      return true;
    }
    folder = PathValue(positional_[1]);
  } else if (cmd_.c || cmd_.inputNull) {
    folder = context_.currentFolder;
  } else if (cmd_.inputKind == InputKind::kFolder) {
    folder = cmd_.inputPath;
  } else {
    folder = FolderOf(cmd_.inputPath);
  }
  folder = WithTrailingSlash(folder);
  std::error_code error;
  if (!IsFolder(folder)) {
    std::filesystem::create_directories(folder, error);
    if (!IsFolder(folder)) {
      result_.messages += folder + "  :フォルダを作成できません.\r\n";
      Exit(1);
      return false;
    }
    cmd_.outputFolderCreated = true;
  }
  cmd_.outputFolder = folder;
  return true;
}

}  // namespace

bool LooksLikeOption(const std::string& arg) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-') || !IsLetter(arg[1])) return false;
  char third = At(arg, 2);
  if (third == 0 || IsSeparator(third)) return true;
  if (!IsLetter(third)) return false;
  char fourth = At(arg, 3);
  return fourth == 0 || IsSeparator(fourth);
}

Mode ModeOfArguments(const std::vector<std::string>& args) {
  for (const std::string& arg : args) {
    if (arg.size() >= 4 && LooksLikeOption(arg) && Lower(arg[1]) == 'p') {
      return Mode::kSkin;
    }
  }
  return Mode::kStandard;
}

PathContext SystemPathContext() {
  PathContext context;
  std::error_code error;
  context.currentFolder = std::filesystem::current_path(error).string();
  if (error) context.currentFolder = "/";
  context.desktop = XdgUserFolder("desktop");
  context.documents = XdgUserFolder("documents");
  return context;
}

ParseResult ParseCommandLine(const std::vector<std::string>& args, const PathContext& context,
                             Options& cmd) {
  return Parser(context, cmd).Parse(args);
}

}  // namespace converter
