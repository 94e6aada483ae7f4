#include "converter/reading/board_kind.h"

#include <array>

#include "converter/reading/thread.h"

namespace converter {
namespace {

std::string KeyText(std::uint64_t key) { return std::to_string(key); }

class ReadCgiBoard : public BoardKindTraits {
 public:
  std::string ThreadAddress(const BoardInfo& board, std::uint64_t key) const override {
    if (board.server.empty() || board.folderName.empty() || key == 0) return "";
    return "http://" + board.server + "/test/read.cgi/" + board.folderName + "/" + KeyText(key) +
           "/";
  }
};

class TwoChannel : public ReadCgiBoard {
 public:
  BoardKind Kind() const override { return BoardKind::k2ch; }
  std::string_view KindName() const override { return "2ch"; }
  TopBarStyle TopBar() const override { return TopBarStyle::kFloatDiv; }
  bool TitleAsHeading() const override { return true; }
  std::string_view TopPageLink() const override { return "http://www.2ch.net/"; }
  std::string_view TopPageLabel() const override { return "２ちゃんねる"; }
};

class Bbspink : public ReadCgiBoard {
 public:
  BoardKind Kind() const override { return BoardKind::kBbspink; }
  std::string_view KindName() const override { return "bbspink"; }
  TopBarStyle TopBar() const override { return TopBarStyle::kFloatDiv; }
  bool TitleAsHeading() const override { return true; }
};

class Be2ch : public ReadCgiBoard {
 public:
  BoardKind Kind() const override { return BoardKind::kBe2ch; }
  std::string_view KindName() const override { return "be2ch"; }
  TopBarStyle TopBar() const override { return TopBarStyle::kBeSpans; }
  bool NumberedDt() const override { return true; }
};

class Machi : public BoardKindTraits {
 public:
  BoardKind Kind() const override { return BoardKind::kMachi; }
  std::string_view KindName() const override { return "machibbs"; }
  std::string ThreadAddress(const BoardInfo& board, std::uint64_t key) const override {
    if (board.server.empty() || board.folderName.empty() || key == 0) return "";
    // The board "tawara" kept the older script name.
    std::string script = board.folderName == "tawara" ? "bbs/read.cgi" : "bbs/read.pl";
    return "http://" + board.server + "/" + script + "?BBS=" + board.folderName +
           "&KEY=" + KeyText(key);
  }
  std::string_view BodyTag() const override {
    return "<BODY TEXT=\"#000000\" BGCOLOR=\"#F8F8FF\" link=\"#0000ff\" alink=\"#FF0000\" "
           "vlink=\"#660099\">";
  }
  bool ListBeforeTitle() const override { return true; }
  std::string_view BoardLabelPrefix() const override { return "まちＢＢＳ"; }
  std::string_view WholeThreadLabel() const override { return "レスを全部読む"; }
  std::string_view Latest50Label() const override { return "最新レス50"; }
  bool BlankBeforeDate() const override { return true; }
};

class Milkcafe : public BoardKindTraits {
 public:
  BoardKind Kind() const override { return BoardKind::kMilkcafe; }
  std::string_view KindName() const override { return "milkcafe"; }
  std::string ThreadAddress(const BoardInfo& board, std::uint64_t key) const override {
    if (board.address.empty() || key == 0) return "";
    return board.address + "read.php?key=" + KeyText(key);
  }
};

class Shitaraba : public BoardKindTraits {
 public:
  BoardKind Kind() const override { return BoardKind::kShitaraba; }
  std::string_view KindName() const override { return "shitaraba"; }
  std::string ThreadAddress(const BoardInfo& board, std::uint64_t key) const override {
    if (board.server.empty() || board.folderName.empty() || key == 0) return "";
    std::string category = board.category.empty() ? "" : board.category + "/";
    return "http://" + board.server + "/bbs/read.cgi/" + category + board.folderName + "/" +
           KeyText(key) + "/";
  }
  bool ListBeforeTitle() const override { return true; }
};

class ShitarabaOld : public BoardKindTraits {
 public:
  BoardKind Kind() const override { return BoardKind::kShitarabaOld; }
  std::string_view KindName() const override { return "shitaraba"; }
  std::string ThreadAddress(const BoardInfo& board, std::uint64_t key) const override {
    if (board.folderName.empty() || key == 0) return "";
    return "http://www.shitaraba.com/" + board.folderName +
           "/cgi-bin/read.cgi?key=" + KeyText(key) + "&bbs=" + board.folderName;
  }
  int TopBarBreaks() const override { return 2; }
  bool ListBeforeTitle() const override { return true; }
};

class Level3 : public BoardKindTraits {
 public:
  BoardKind Kind() const override { return BoardKind::kLevel3; }
  std::string_view KindName() const override { return "level3"; }
};

class World2ch : public ReadCgiBoard {
 public:
  BoardKind Kind() const override { return BoardKind::kWorld2ch; }
  std::string_view KindName() const override { return "world2ch"; }
  int Language() const override { return 2; }
  std::string_view BodyTag() const override {
    return "<body bgcolor=\"#efefef\" text=\"#000000\" link=\"#0000ff\" alink=\"#ff0000\" "
           "vlink=\"#aa0088\">";
  }
  std::string_view WholeThreadLabel() const override { return "Read all"; }
  std::string_view Latest50Label() const override { return "Last 50"; }
};

class Taiwan2ch : public ReadCgiBoard {
 public:
  BoardKind Kind() const override { return BoardKind::kTaiwan2ch; }
  std::string_view KindName() const override { return "taiwan2ch"; }
  // The second <br> comes with the page language (Chinese), as for a forced kind.
  int Language() const override { return 1; }
};

class OtherBoard : public ReadCgiBoard {
 public:
  BoardKind Kind() const override { return BoardKind::kOther; }
  std::string_view KindName() const override { return "other"; }
  TopBarStyle TopBar() const override { return TopBarStyle::kFloatDiv; }
  std::string ThreadAddress(const BoardInfo&, std::uint64_t) const override { return ""; }
};

// Host of "http://host/path" (or of a bare host).
std::string_view HostOf(std::string_view address) {
  size_t scheme = address.find("://");
  if (scheme != std::string_view::npos) address.remove_prefix(scheme + 3);
  size_t slash = address.find('/');
  return slash == std::string_view::npos ? address : address.substr(0, slash);
}

// True when `host` is `domain` or one of its subdomains.
bool InDomain(std::string_view host, std::string_view domain) {
  if (host.size() < domain.size()) return false;
  if (host.substr(host.size() - domain.size()) != domain) return false;
  return host.size() == domain.size() || host[host.size() - domain.size() - 1] == '.';
}

bool InAnyDomain(std::string_view host, std::initializer_list<std::string_view> domains) {
  for (std::string_view domain : domains) {
    if (InDomain(host, domain)) return true;
  }
  return false;
}

}  // namespace

std::string BoardKindTraits::ThreadAddress(const BoardInfo&, std::uint64_t) const { return ""; }

const BoardKindTraits& TraitsOf(BoardKind kind) {
  static const TwoChannel twoChannel;
  static const Bbspink bbspink;
  static const Be2ch be2ch;
  static const Machi machi;
  static const Milkcafe milkcafe;
  static const Shitaraba shitaraba;
  static const ShitarabaOld shitarabaOld;
  static const Level3 level3;
  static const World2ch world2ch;
  static const Taiwan2ch taiwan2ch;
  static const OtherBoard other;
  switch (kind) {
    case BoardKind::k2ch:
      return twoChannel;
    case BoardKind::kBbspink:
      return bbspink;
    case BoardKind::kBe2ch:
      return be2ch;
    case BoardKind::kMachi:
      return machi;
    case BoardKind::kMilkcafe:
      return milkcafe;
    case BoardKind::kShitaraba:
      return shitaraba;
    case BoardKind::kShitarabaOld:
      return shitarabaOld;
    case BoardKind::kLevel3:
      return level3;
    case BoardKind::kWorld2ch:
      return world2ch;
    case BoardKind::kTaiwan2ch:
      return taiwan2ch;
    case BoardKind::kOther:
      return other;
  }
  return other;
}

BoardKind KindOfAddress(std::string_view address, std::string_view boardFolder) {
  std::string_view host = HostOf(address);
  if (host.empty()) return BoardKind::kOther;
  // The more specific hosts come before the 2ch family they belong to.
  if (InAnyDomain(host, {"2ch.tw", "taiwan.2ch.net"})) return BoardKind::kTaiwan2ch;
  if (InAnyDomain(host, {"world.2ch.net", "2ch.us"})) return BoardKind::kWorld2ch;
  if (InAnyDomain(host, {"be.2ch.net", "be.5ch.net"}) || boardFolder == "be") {
    if (InAnyDomain(host, {"2ch.net", "5ch.net", "5ch.io"})) return BoardKind::kBe2ch;
  }
  // Current domains and the old forms of 2ch hosts.
  if (InAnyDomain(host, {"2ch.net", "5ch.net", "5ch.io", "2ch.sc", "maido3.com", "2ch.io"})) {
    return BoardKind::k2ch;
  }
  if (InAnyDomain(host, {"bbspink.com", "bbspink.net"})) return BoardKind::kBbspink;
  if (InAnyDomain(host, {"jbbs.shitaraba.net", "jbbs.livedoor.jp", "jbbs.shitaraba.com"})) {
    return BoardKind::kShitaraba;
  }
  if (InAnyDomain(host, {"shitaraba.com"})) return BoardKind::kShitarabaOld;
  if (InAnyDomain(host, {"machi.to", "machibbs.com"})) return BoardKind::kMachi;
  if (InAnyDomain(host, {"milkcafe.net", "milkcafe.to"})) return BoardKind::kMilkcafe;
  if (host.find("level3") != std::string_view::npos) return BoardKind::kLevel3;
  return BoardKind::kOther;
}

bool KindOfForcedLetter(char letter, BoardKind& kind) {
  switch (letter) {
    case '1':
      kind = BoardKind::k2ch;
      return true;
    case '2':
      kind = BoardKind::kBbspink;
      return true;
    case '3':
      kind = BoardKind::kBe2ch;
      return true;
    case '4':
      kind = BoardKind::kMachi;
      return true;
    case '5':
      kind = BoardKind::kMilkcafe;
      return true;
    case '6':
      kind = BoardKind::kShitaraba;
      return true;
    case '7':
      kind = BoardKind::kWorld2ch;
      return true;
    case '8':
      kind = BoardKind::kTaiwan2ch;
      return true;
    case 'x':
      kind = BoardKind::kOther;
      return true;
    default:
      return false;
  }
}

}  // namespace converter
