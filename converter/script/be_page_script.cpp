#include "converter/script/be_page_script.h"

#include <cctype>

#include "converter/script/marker_expander.h"
#include "converter/script/script_pieces.h"

namespace converter::script {
namespace {

constexpr std::string_view kAddressMarker = "@THREAD_ADDRESS@";
constexpr std::string_view kBeTop = "http://be.2ch.net/";

struct LevelButton {
  const char* caption;
  const char* pattern;
};

constexpr LevelButton kLevels[] = {{"Lv0", ""}, {"Lv1", "#"}, {"Lv2", "##"}, {"Lv3", "###"}};
constexpr LevelButton kTrialLevels[] = {
    {"Lv.0", "[01234]"}, {"Lv.1", "[1234]"}, {"Lv.2", "[234]"}, {"Lv.3", "[34]"}, {"Lv.4", "[4]"}};

// Only what an address needs may go into the script's string.
std::string AddressSigns(std::string_view address) {
  std::string out;
  for (char c : address) {
    if (std::isalnum(static_cast<unsigned char>(c)) ||
        std::string_view(":/._?&=~%-").find(c) != std::string_view::npos) {
      out += c;
    }
  }
  return out;
}

std::string Button(const LevelButton& level) {
  return std::string("<input type=button value=\"") + level.caption + "\" onclick=\"grep('" +
         level.pattern + "')\">";
}

}  // namespace

std::string BePageScript(std::string_view threadAddress, std::string_view eol) {
  std::string marked;
  for (std::string_view piece : BePagePieces()) marked += piece;
  std::string script = ExpandMarkers(marked, ScriptForm::kEmbedded, eol);
  size_t at = script.find(kAddressMarker);
  if (at != std::string::npos) {
    script.replace(at, kAddressMarker.size(), AddressSigns(threadAddress));
  }
  return script;
}

std::string BeLevelButtons(std::string_view eol) {
  std::string html = "<a href=\"" + std::string(kBeTop) + "\">be</a> チェック";
  for (const LevelButton& level : kLevels) html += " " + Button(level);
  html += "<br>" + std::string(eol) + "実験中";
  for (const LevelButton& level : kTrialLevels) html += " " + Button(level);
  return html;
}

}  // namespace converter::script
