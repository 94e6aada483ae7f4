// Board kinds: what the page layout and the thread address depend on. Each
// kind is one class behind BoardKindTraits; the page writer asks the traits
// instead of testing the kind.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace converter {

struct BoardInfo;

enum class BoardKind {
  k2ch,
  kBbspink,
  kBe2ch,
  kMachi,  // まちＢＢＳ
  kMilkcafe,
  kShitaraba,     // したらば, newer hosts
  kShitarabaOld,  // したらば, the old host
  kLevel3,        // Level3-BBS
  kWorld2ch,      // page language 2
  kTaiwan2ch,     // page language 1, big5
  kOther,
};

// One bit per kind, for the flags that board information may set several of.
constexpr unsigned BoardKindBit(BoardKind kind) { return 1u << static_cast<unsigned>(kind); }

// How the link bar at the top of a page is wrapped.
enum class TopBarStyle {
  kFloatDiv,  // 2ch, BBSPINK, other in read.cgi 7.xx style: div + left-floating span + hr
  kBreak,     // other known kinds: bar then <br>
  kBeSpans,   // Be@2ch: left span beside the level buttons, <br style='clear:both;'>
};

class BoardKindTraits {
 public:
  virtual ~BoardKindTraits() = default;

  virtual BoardKind Kind() const = 0;
  // Name used in index entries ("2ch", "machibbs", ...).
  virtual std::string_view KindName() const = 0;
  // 0 Japanese, 1 Chinese, 2 English.
  virtual int Language() const { return 0; }
  // Address of a thread on this board; "" when it cannot be built.
  virtual std::string ThreadAddress(const BoardInfo& board, std::uint64_t key) const;

  // Page layout data.
  virtual std::string_view BodyTag() const {
    return "<body bgcolor=#efefef text=black link=blue alink=red vlink=#660099>";
  }
  virtual TopBarStyle TopBar() const { return TopBarStyle::kBreak; }
  // Number of <br> after the top bar in the kBreak style (before extras of link_omit_atagstr).
  virtual int TopBarBreaks() const { return 1; }
  // Title as <h1> in read.cgi 7.xx style (else <font size=+1 color=red>).
  virtual bool TitleAsHeading() const { return false; }
  // The post list opens before the title (まちＢＢＳ, したらば).
  virtual bool ListBeforeTitle() const { return false; }
  // Prefix of the board link label ("まちＢＢＳ").
  virtual std::string_view BoardLabelPrefix() const { return ""; }
  // Labels of the whole-thread and latest-50 links.
  virtual std::string_view WholeThreadLabel() const { return "全部"; }
  virtual std::string_view Latest50Label() const { return "最新50"; }
  // A blank between the date label and the date.
  virtual bool BlankBeforeDate() const { return false; }
  // <dt title=n> instead of <dt>.
  virtual bool NumberedDt() const { return false; }
  // The link to the BBS's top page before the board link ("" for none).
  virtual std::string_view TopPageLink() const { return ""; }
  virtual std::string_view TopPageLabel() const { return ""; }
};

// The traits of a kind; the objects live for the whole run.
const BoardKindTraits& TraitsOf(BoardKind kind);

// The kind a board address belongs to; kOther for any other non-empty address.
BoardKind KindOfAddress(std::string_view address, std::string_view boardFolder);

// The kind forced by /f ('1' 2ch ... 'x' other); false when the letter names none.
bool KindOfForcedLetter(char letter, BoardKind& kind);

}  // namespace converter
