#include "converter/skin/skin_templates.h"

#include <algorithm>
#include <filesystem>

#include "common/encoding.h"
#include "common/file_io.h"
#include "converter/reading/encoding_score.h"
#include "converter/reading/kanjicode.h"

namespace converter::skin {
namespace {

constexpr size_t kDetectedBytes = 30720;
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The file of `name` in `folder`; skins made for case-blind file systems
// write "NewRes.html" or "Header.html", so any case is accepted when the
// exact name is absent.
std::string FindFile(const std::string& folder, const std::string& name) {
  std::error_code ec;
  if (std::filesystem::is_regular_file(folder + name, ec)) return folder + name;
  for (const auto& entry : std::filesystem::directory_iterator(folder, ec)) {
    if (Lower(entry.path().filename().string()) == name && entry.is_regular_file(ec)) {
      return entry.path().string();
    }
  }
  return folder + name;
}

Template ReadTemplate(const std::string& path, Reporter& reporter) {
  reporter.Say(path + "を読み込み中...");
  Template result;
  std::optional<std::string> bytes = common::ReadWholeFile(path);
  if (!bytes) {
    reporter.Say(" not found\r\n");
    return result;
  }
  reporter.Say(" Ok\r\n");
  result.file = path;
  result.kanjicode = TemplateKanjicode(*bytes);
  std::string_view text = *bytes;
  if (result.kanjicode == 3 && text.substr(0, 3) == kUtf8Mark) text.remove_prefix(3);
  result.utf8 = result.kanjicode == 0 ? std::string(text)
                                      : common::DecodeToUtf8(text, CharsetOf(result.kanjicode));
  return result;
}

}  // namespace

std::string PostTemplateName(const Options& cmd) { return cmd.ur ? "res.html" : "newres.html"; }

int TemplateKanjicode(std::string_view bytes) {
  if (bytes.substr(0, 3) == kUtf8Mark && common::IsValidUtf8(bytes)) return 3;
  // The detector looks at the text from its first byte that is not ASCII.
  auto first = std::find_if(bytes.begin(), bytes.end(),
                            [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  if (first == bytes.end()) return 0;
  std::string_view region =
      bytes.substr(static_cast<size_t>(first - bytes.begin()), kDetectedBytes);
  int decided = DecideEncoding(ScoreEncodings(region));
  if (decided == 0) decided = common::IsValidUtf8(region) ? 3 : 2;
  return decided;
}

std::optional<Skin> LoadSkin(const Options& cmd, Reporter& reporter) {
  Skin skin;
  skin.folder = cmd.skinPath;
  if (!skin.folder.empty() && skin.folder.back() != '/') skin.folder += '/';
  reporter.Say("スキンファイルを読み込みます\r\n");
  skin.header = ReadTemplate(FindFile(skin.folder, "header.html"), reporter);
  skin.post = ReadTemplate(FindFile(skin.folder, PostTemplateName(cmd)), reporter);
  if (skin.post.file.empty()) {
    reporter.Say("スキンファイルを開くことができません。\r\n");
    return std::nullopt;
  }
  skin.footer = ReadTemplate(FindFile(skin.folder, "footer.html"), reporter);
  if (cmd.m.output_kanjicode) {
    skin.kanjicode = cmd.m.output_kanjicode;
  } else if (skin.header.utf8.find("<CHARSET/>") == std::string::npos) {
    for (const Template* t : {&skin.header, &skin.post, &skin.footer}) {
      if (t->kanjicode != 0) {
        skin.kanjicode = t->kanjicode;
        break;
      }
    }
  }
  return skin;
}

}  // namespace converter::skin
