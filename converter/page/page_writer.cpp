#include "converter/page/page_writer.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <map>
#include <memory>
#include <unordered_map>

#include "converter/page/body_rewriter.h"
#include "converter/page/date_column.h"
#include "converter/page/labels.h"
#include "converter/page/text_sink.h"
#include "converter/reading/kanjicode.h"
#include "converter/script/be_page_script.h"
#include "converter/script/popup_script.h"

namespace converter::page {

using namespace std::literals;

namespace {

constexpr const char* kVersion = "0.35a";
constexpr const char* kCreditAddress = "http://shoin.example.net/";
constexpr const char* kBbsTopAddress = "http://www.2ch.net/";
// A post with a field longer than this is shown as broken.
constexpr size_t kLongestField = 150000;

std::string Replace(std::string text, std::string_view marker, std::string_view value) {
  size_t at = text.find(marker);
  if (at != std::string::npos) text.replace(at, marker.size(), value);
  return text;
}

// The embedded script in a page's language and encoding. It is the same for
// every page of a run, so each language and encoding is converted once.
const std::string& EmbeddedScript(const std::string& utf8, int language, common::Charset charset) {
  struct Converted {
    std::string source;
    std::string bytes;
  };
  static std::map<std::pair<int, common::Charset>, Converted> converted;
  Converted& entry = converted[{language, charset}];
  if (entry.source != utf8) {
    entry.source = utf8;
    entry.bytes = EncodeWithReferences(script::ForPageLanguage(utf8, language), charset);
  }
  return entry.bytes;
}
}  // namespace

class PageBuilder {
 public:
  PageBuilder(const Thread& thread, const Options& cmd, const PageSetup& setup)
      : t_(thread), cmd_(cmd), m_(cmd.m), setup_(setup) {
    int kanjicode = setup.outputKanjicode > 0 ? setup.outputKanjicode : thread.outputKanjicode;
    outCharset_ =
        CharsetOf(kanjicode > 0 ? kanjicode : (m_.output_kanjicode ? m_.output_kanjicode : 1));
    inCharset_ = CharsetOf(thread.inputKanjicode);
    sameCharset_ = outCharset_ == inCharset_;
    eol_ = m_.retcodeLF ? "\n" : "\r\n";
    traits_ = thread.traits ? thread.traits : &TraitsOf(thread.kind);
    labels_ = LabelsFor(thread.language, m_.link_omit_atagstr, *traits_);
    every_ = cmd.partSize > 0 ? cmd.partSize : 0;
    long long posts = static_cast<long long>(thread.posts.size());
    parts_ = every_ > 0 ? std::max(1, PartCount(posts, every_)) : 1;
    split_ = every_ > 0 && parts_ > 1;
    rules_.notdelsp = m_.notdelsp;
    rules_.notreplaceresanchor = m_.notreplaceresanchor;
    rules_.nametargetR = m_.nametargetR;
    rules_.anchorext = m_.anchorext;
    rules_.sssp2img = m_.sssp2img;
    rules_.link_omit_atagstr = m_.link_omit_atagstr;
    rules_.link_redirect = m_.link_redirect;
    rules_.link = m_.link;
    rules_.redirectPrefix = setup.redirectPrefix;
    rules_.charset = outCharset_;
    nameInMailRules_ = rules_;
    nameInMailRules_.link = std::max(rules_.link, 2);
    anchors_.postCount = static_cast<int>(std::max<long long>(posts, thread.postCount));
    nameColumnLabel_ = Tx(m_.namae ? labels_.nameLabel : labels_.plainLabel);
    dateColumnLabel_ = Tx(m_.toukoubi ? labels_.dateLabel : labels_.plainLabel);
    brokenMark_ = Tx(labels_.broken);
    if (split_) {
      anchors_.partFileOf = [this](int number) {
        return EscapeAttribute(Tx(PartFile(PartOfNumber(number))), outCharset_);
      };
    }
  }

  // ----- Pieces for pages built from the user's templates (skin mode). -----
  int parts() const { return parts_; }
  std::pair<size_t, size_t> PostsOfPart(int part) const { return PartRange(part); }
  std::string FileOfPart(int part) const { return PartFile(part); }
  LinkPieces TopPieces(int part, bool overflowPage) {
    onOverflowPage_ = overflowPage;
    LinkPieces pieces = Pieces(part, /*top=*/true);
    onOverflowPage_ = false;
    return pieces;
  }
  std::string Title() { return TitleText(); }
  common::Charset charset() const { return outCharset_; }
  const char* CharsetName() const { return KanjicodeName(KanjicodeOf(outCharset_)); }
  std::string AttributeText(const std::string& utf8) const {
    return EscapeAttribute(Tx(utf8), outCharset_);
  }

  PostPieces PostFields(size_t index, bool idApart, bool beApart) {
    const converter::Post& post = t_.posts[index];
    PostPieces pieces;
    pieces.number = post.number;
    pieces.empty = post.name.empty() && post.mail.empty() && post.date.empty() && post.body.empty();
    if (pieces.empty) return pieces;
    if (post.broken || post.name.size() > kLongestField || post.mail.size() > kLongestField ||
        post.date.size() > kLongestField || post.body.size() > kLongestField) {
      pieces.name = pieces.date = pieces.body = brokenMark_;
      return pieces;
    }
    std::string mail = Field(post.mail);
    pieces.mail = EscapeTags(mail, outCharset_);
    pieces.mailAttribute = EscapeAttribute(mail, outCharset_);
    pieces.name = NameText(post, !mail.empty());

    std::string date = DateText(post);
    size_t be = date.find("BE:");
    if (be != std::string::npos) {
      size_t end = date.find_first_of(" <", be);
      if (end == std::string::npos) end = date.size();
      std::string text = date.substr(be + 3, end - be - 3);
      size_t dash = text.find('-');
      if (dash != std::string::npos && dash > 0 && text.find_first_not_of("0123456789") == dash) {
        pieces.beId = text.substr(0, dash);
        pieces.beString = EscapeAttribute(text, outCharset_);
        std::string rank = text.substr(dash + 1);
        pieces.beLevel = EscapeAttribute(rank.substr(0, rank.find('(')), outCharset_);
        pieces.be =
            BeLink(RewriteField(date.substr(be, end - be), FieldKind::kDate, rules_, anchors_),
                   post.number);
        if (beApart) Cut(date, be, end);
      }
    }
    // The ID: the reader's, else the "ID:" of the date field.
    std::string id = Field(post.id);
    size_t at = id.empty() ? date.find("ID:") : date.find("ID:" + id);
    if (id.empty() && at != std::string::npos) {
      size_t end = date.find_first_of(" <", at);
      id = date.substr(at + 3, end == std::string::npos ? std::string::npos : end - at - 3);
    }
    pieces.id = EscapeTags(id, outCharset_);
    if (idApart && at != std::string::npos) Cut(date, at, at + 3 + id.size());
    pieces.date = RewriteField(date, FieldKind::kDate, rules_, anchors_);
    if (!beApart) pieces.date = BeLink(pieces.date, post.number);

    std::string converted, trimmed;
    std::string_view text = FieldView(post.body, converted);
    if (m_.notdelsp) {
      if (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    } else {
      TrimBodyBlanksInto(trimmed, text);
      text = trimmed;
    }
    RewriteFieldInto(pieces.body, text, FieldKind::kBody, rules_, anchors_);
    if (CutLongBody(pieces.body, std::to_string(post.number))) {
      pieces.wholeBody = OverflowBody(post);
    }
    return pieces;
  }

  BuiltPages Build() {
    BuiltPages result;
    result.parts = parts_;
    result.split = split_;
    result.refs.resize(t_.posts.size());
    std::string overflowPosts;
    for (int part = 0; part < parts_; ++part) {
      std::string page;
      page.reserve(t_.buffer.size() * 3 / 2 / static_cast<size_t>(parts_) + 16384);
      Head(page);
      TopBar(page, part);
      Title(page);
      auto [first, last] = PartRange(part);
      {
        TextSink posts(page);
        for (size_t i = first; i < last; ++i) {
          Post(posts, i, &result.refs[i], &overflowPosts);
          ++result.postsWritten;
        }
      }
      Footer(page, part, /*overflowPage=*/false);
      result.files.push_back({setup_.folder + PartFile(part), std::move(page)});
    }
    if (!overflowPosts.empty()) {
      onOverflowPage_ = true;
      std::string page;
      Head(page);
      TopBar(page, 0);
      Title(page);
      page += overflowPosts;
      Footer(page, parts_ - 1, /*overflowPage=*/true);
      result.files.push_back({setup_.folder + setup_.baseName + "_o.html", std::move(page)});
      result.overflow = true;
    }
    return result;
  }

 private:
  // Text of this program (UTF-8) in the output encoding. Labels and links
  // repeat from page to page, so the first texts of a run are kept for the
  // whole run (a bounded number, as some name one thread only).
  const std::string& Tx(const std::string& utf8) const {
    static std::map<common::Charset, std::unordered_map<std::string, std::string>> runTexts;
    auto& shared = runTexts[outCharset_];
    if (auto it = shared.find(utf8); it != shared.end()) return it->second;
    if (auto it = converted_.find(utf8); it != converted_.end()) return it->second;
    std::string bytes = EncodeWithReferences(utf8, outCharset_);
    if (shared.size() < kRunTexts) return shared.emplace(utf8, std::move(bytes)).first->second;
    return converted_.emplace(utf8, std::move(bytes)).first->second;
  }
  static constexpr size_t kRunTexts = 2048;

  // A field of the log in the output encoding.
  std::string Field(std::string_view raw) const {
    if (sameCharset_) return std::string(raw);
    return EncodeWithReferences(t_.DecodeField(raw), outCharset_);
  }

  // The same without a copy when no conversion is needed.
  std::string_view FieldView(std::string_view raw, std::string& storage) const {
    if (sameCharset_) return raw;
    storage = EncodeWithReferences(t_.DecodeField(raw), outCharset_);
    return storage;
  }

  std::string PartFile(int part) const {
    if (!split_) return setup_.baseName + ".html";
    return PartFileName(setup_.baseName, part + 1, parts_);
  }

  std::pair<size_t, size_t> PartRange(int part) const {
    size_t size = t_.posts.size();
    if (!split_) return {0, size};
    size_t first = static_cast<size_t>(part) * static_cast<size_t>(every_);
    size_t last = part == parts_ - 1 ? size : first + static_cast<size_t>(every_);
    return {std::min(first, size), std::min(last, size)};
  }

  // The part that holds the post numbered `number` (the first post at or
  // after it when the log skips numbers).
  int PartOfNumber(int number) const {
    auto it = std::lower_bound(t_.posts.begin(), t_.posts.end(), number,
                               [](const converter::Post& p, int n) { return p.number < n; });
    size_t index = it == t_.posts.end() ? t_.posts.size() - 1 : it - t_.posts.begin();
    int part = static_cast<int>(index / static_cast<size_t>(every_));
    return std::min(part, parts_ - 1);
  }

  std::string Anchor(int number) const {
    return (m_.nametargetR ? "#R" : "#") + std::to_string(number);
  }

  // An in-page link to post `number`; from the "_o.html" page it leads into
  // the main page, as that page holds only the cut posts.
  std::string InPage(int number) const {
    std::string file = split_ ? PartFile(PartOfNumber(number)) : onOverflowPage_ ? PartFile(0) : "";
    return file + Anchor(number);
  }

  bool ScriptsOn() const { return cmd_.js.enabled; }
  bool BePage() const { return t_.kind == BoardKind::kBe2ch; }

  std::string TitleText() {
    std::string title = t_.title;
    if (m_.delsptt) title.erase(0, title.find_first_not_of(' '));
    if (title.empty()) return Tx(labels_.untitled);
    return EscapeTags(EncodeWithReferences(title, outCharset_), outCharset_);
  }

  void Head(std::string& page) {
    // The charset of the bytes written: a Taiwan page forced to another encoding is not big5.
    const char* charsetName = CharsetName();
    if (!m_.omitdldd) {
      page += "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 Transitional//EN\">" + eol_;
      page += "<html>" + eol_ + "<head>" + eol_;
      page += std::string("<meta http-equiv=\"Content-Type\" content=\"text/html; charset=") +
              charsetName + "\">" + eol_;
      if (ScriptsOn()) {
        page += "<meta http-equiv=\"Content-Script-Type\" content=\"text/javascript\">" + eol_;
      }
      std::string author = t_.board.threadAddress;
      if (author.empty() && t_.key != 0) author = std::to_string(t_.key);
      if (!author.empty()) {
        page += "<meta name=\"Author\" content=\"" +
                EscapeAttribute(EncodeWithReferences(author, outCharset_), outCharset_) + "\">" +
                eol_;
      }
    } else {
      page += "<html>" + eol_ + "<head>" + eol_;
    }
    if (ScriptsOn() && !cmd_.js.method && !setup_.script.fileReference.empty()) {
      page += "<script type=\"text/javascript\" src=\"" +
              EscapeAttribute(setup_.script.fileReference, outCharset_) + "\"></script>" + eol_;
    }
    page += "<title>" + TitleText() + "</title>" + eol_;
    // Be pages carry their own script whether or not pop-ups are enabled.
    if (BePage()) page += std::string(script::kBePageStyle) + eol_;
    if (ScriptsOn() || BePage()) {
      page += "<script type=\"text/javascript\" defer>" + eol_ + "<!--" + eol_;
      if (ScriptsOn() && cmd_.js.belink && !t_.board.threadAddress.empty()) {
        page += "function be(i,r){var w=window.open('http://be.2ch.net/test/p.php?i='+i+'&u=d:" +
                ScriptSafe(t_.board.threadAddress) + "'+r,'profile');if(w)w.focus();}" + eol_;
      }
      if (BePage()) page += Tx(script::BePageScript(t_.board.threadAddress, eol_));
      // The pop-up script goes here when it is embedded.
      if (ScriptsOn() && cmd_.js.method && !setup_.script.embedded.empty()) {
        page += EmbeddedScript(setup_.script.embedded, t_.language, outCharset_);
        if (page.size() < eol_.size() ||
            page.compare(page.size() - eol_.size(), eol_.size(), eol_) != 0)
          page += eol_;
      }
      page += "//-->" + eol_ + "</script>" + eol_;
    }
    page += "</head>" + eol_;
    std::string body(traits_->BodyTag());
    if (BePage() && !body.empty()) body.insert(body.size() - 1, " onLoad=\"start()\"");
    if (m_.forcemspfont && !body.empty()) {
      body.insert(body.size() - 1,
                  " style=\"font-size:12pt; font-family:'ＭＳ Ｐゴシック','Mona';\"");
    }
    page += Tx(body) + eol_;
  }

  // Removes text[from, to) with the blank before it (or after it at the start).
  static void Cut(std::string& text, size_t from, size_t to) {
    if (from > 0 && text[from - 1] == ' ') {
      --from;
    } else if (to < text.size() && text[to] == ' ') {
      ++to;
    }
    text.erase(from, to - from);
  }

  // An address inside a script string: only the signs an address needs.
  static std::string ScriptSafe(std::string_view address) {
    std::string out;
    for (char c : address) {
      if (std::isalnum(static_cast<unsigned char>(c)) ||
          std::string_view(":/._?&=~%-").find(c) != std::string_view::npos) {
        out += c;
      }
    }
    return out;
  }

  static int KanjicodeOf(common::Charset charset) {
    switch (charset) {
      case common::Charset::kCp932:
        return 1;
      case common::Charset::kEucJp:
        return 2;
      case common::Charset::kUtf8:
        return 3;
      case common::Charset::kBig5:
        return 4;
    }
    return 1;
  }

  void Link(std::string& bar, const std::string& target, const std::string& label) {
    if (!bar.empty()) bar += " "sv;
    // A board name comes from board files outside the log: shown as text.
    bar += "<a href=\"" + EscapeAttribute(Tx(target), outCharset_) + "\">" +
           EscapeTags(Tx(label), outCharset_) + "</a>" + eol_;
  }

  // The links of the bar, piece by piece; `top` adds the hundred links.
  LinkPieces Pieces(int part, bool top) {
    LinkPieces pieces;
    if (m_.link_back && !setup_.indexLink.empty()) {
      Link(pieces.backToIndex, setup_.indexLink, labels_.back);
    }
    if (!t_.board.address.empty()) {
      if (m_.link_backtoboard) {
        std::string& board = pieces.backToBoard;
        if (!traits_->TopPageLink().empty()) {
          Link(board, std::string(traits_->TopPageLink()), std::string(traits_->TopPageLabel()));
        } else if (t_.kind == BoardKind::k2ch) {
          Link(board, kBbsTopAddress, "２ちゃんねる");
        }
        std::string label = t_.board.name.empty() ? labels_.backToBoard
                                                  : std::string(traits_->BoardLabelPrefix()) +
                                                        t_.board.name + labels_.boardSuffix;
        Link(board, t_.board.address, label);
      }
      if (m_.link_moto && t_.key != 0 && !t_.board.threadAddress.empty()) {
        Link(pieces.sourceThread, t_.board.threadAddress, labels_.sourceThread);
      }
    }
    if (m_.link_numlink && !t_.posts.empty()) {
      Link(pieces.all, PartFile(0), labels_.wholeThread);
      if (top) {
        if (split_) {
          for (int p = 0; p < parts_; ++p) {
            Link(pieces.resNumber, PartFile(p),
                 std::to_string(t_.posts[PartRange(p).first].number) + "-");
          }
        } else {
          HundredLinks(pieces.resNumber);
        }
      }
      if (split_ && part > 0) {
        Link(pieces.back, PartFile(part - 1), labels_.previousPart + std::to_string(every_));
      }
      if (split_ && part + 1 < parts_) {
        Link(pieces.next, PartFile(part + 1), labels_.nextPart + std::to_string(every_));
      }
      size_t latest = t_.posts.size() > 50 ? t_.posts.size() - 50 : 0;
      Link(pieces.lastFifty, InPage(t_.posts[latest].number), labels_.latest50);
    }
    if (part == parts_ - 1 && m_.credit && !cmd_.x && !m_.omitdldd) pieces.credit = Credit();
    return pieces;
  }

  std::string Bar(int part, bool top) {
    LinkPieces p = Pieces(part, top);
    std::string bar;
    for (const std::string* piece : {&p.backToIndex, &p.backToBoard, &p.sourceThread, &p.all,
                                     &p.resNumber, &p.back, &p.next, &p.lastFifty}) {
      if (piece->empty()) continue;
      if (!bar.empty()) bar += " "sv;
      bar += *piece;
    }
    return bar;
  }

  std::string Credit() const {
    return std::string("<div align=\"right\"><font size=1><a href=\"") + kCreditAddress +
           "\" rel=\"nofollow\" target=\"_blank\">" + eol_ + "SHOIN</a> " + kVersion +
           " Converted.</font></div>" + eol_;
  }

  // 1-, 101-, 201-, ... for each started hundred that holds a post.
  void HundredLinks(std::string& bar) {
    int links = 0;
    size_t i = 0;
    for (int hundred = 0; links < 11 && i < t_.posts.size(); ++hundred) {
      int from = hundred * 100 + 1;
      while (i < t_.posts.size() && t_.posts[i].number < from) ++i;
      if (i >= t_.posts.size()) break;
      if (t_.posts[i].number >= from + 100) {
        hundred = (t_.posts[i].number - 1) / 100 - 1;  // skip the empty hundreds
        continue;
      }
      Link(bar, InPage(t_.posts[i].number), std::to_string(from) + "-");
      ++links;
    }
  }

  void TopBar(std::string& page, int part) {
    std::string bar = Bar(part, /*top=*/true);
    bool sevenStyle = !m_.readcgi7xx && !m_.omitdldd;
    TopBarStyle style = traits_->TopBar();
    if (m_.omitdldd) style = TopBarStyle::kBreak;
    if (style == TopBarStyle::kFloatDiv && sevenStyle) {
      page += "<div style=\"margin-top:1em;\"><span style='float:left;'>" + eol_ + bar +
              "</span>&nbsp;</div>" + eol_;
      page +=
          "<hr style=\"background-color:#888;color:#888;border-width:0;height:1px;position:"
          "relative;top:-.4em;\">" +
          eol_;
    } else if (style == TopBarStyle::kFloatDiv) {
      // read.cgi 05.x.x.x style: the bar as a paragraph.
      if (bar.size() >= eol_.size()) bar.erase(bar.size() - eol_.size());
      page += "<p>" + bar + "<br>" + eol_;
    } else if (style == TopBarStyle::kBeSpans) {
      page += "<div style=\"margin-top:1em;\"><span style='float:left;'>" + eol_ + bar +
              "</span><span style='float:right;'>" + Tx(script::BeLevelButtons(eol_)) +
              "</span><br style='clear:both;'></div>" + eol_;
    } else {
      int breaks =
          traits_->TopBarBreaks() + (t_.language == 1 ? 1 : 0) + (m_.link_omit_atagstr ? 1 : 0);
      page += bar;
      for (int i = 0; i < std::max(1, breaks); ++i) page += "<br>"sv;
      page += eol_;
    }
  }

  void Title(std::string& page) {
    bool heading = traits_->TitleAsHeading() && !m_.readcgi7xx && !m_.omitdldd;
    std::string list = m_.omitdldd ? "<br>" : heading ? "<dl class=\"thread\">" : "<dl>";
    bool listFirst = traits_->ListBeforeTitle() && !m_.omitdldd;
    if (listFirst) page += list + eol_;
    if (!m_.titlehide) {
      if (heading) {
        page += "<h1 style=\"color:red;font-size:larger;font-weight:normal;margin:-.5em 0 0;\">" +
                TitleText() + "</h1>" + eol_;
      } else {
        page += "<font size=+1 color=red>" + TitleText() + "</font>" + eol_;
      }
    }
    if (!listFirst) page += list + eol_;
  }

  // Writes one post into the page in place: the page holds the whole input
  // reserved, so a post costs no strings of its own; only a body that may be
  // cut is built apart.
  void Post(TextSink& page, size_t index, std::vector<int>* refs, std::string* overflow) {
    const converter::Post& post = t_.posts[index];
    char digits[16];
    std::string_view number = NumberText(post.number, digits);
    const size_t entryStart = page.size();
    if (!m_.omitdldd) {
      if (traits_->NumberedDt()) {
        page.append("<dt title="sv).append(number).append(">"sv);
      } else {
        page += "<dt>"sv;
      }
    }
    if (m_.notreplaceresanchor) {
      page += number;
    } else {
      page += "<a name=\""sv;
      if (m_.nametargetR) page += 'R';
      page += number;
      page.append("\">"sv).append(number).append("</a>"sv);
    }
    page += " "sv;
    page += nameColumnLabel_;
    bool broken = post.broken || post.name.size() > kLongestField ||
                  post.mail.size() > kLongestField || post.date.size() > kLongestField ||
                  post.body.size() > kLongestField;
    const std::string_view bodyLead = m_.omitdldd ? "<br>" : "<dd>";
    if (broken) {
      const std::string& mark = brokenMark_;
      page.append("<font color=green><b>"sv).append(mark).append("</b></font>"sv);
      page.append(dateColumnLabel_).append(mark);
      page.append(bodyLead).append(mark).append("<br><br>"sv).append(eol_);
      return;
    }
    NameColumn(page, post);
    page += dateColumnLabel_;
    if (traits_->BlankBeforeDate()) page += " "sv;
    std::string_view date = DateView(post, date_);
    DateColumn(page, date, post.number);
    // The numbered form keeps the ID in a field of its own.
    if (!post.id.empty() && date.find("ID:") == std::string_view::npos) {
      page += " ID:"sv;
      AppendEscaped(page, FieldView(post.id, id_), outCharset_);
    }
    if (t_.kind == BoardKind::kWorld2ch && !post.language.empty()) {
      page += Language(post.language);
    }
    std::string_view text = FieldView(post.body, converted_body_);
    if (!m_.notdelsp && m_.limitoflinenumber <= 0) {
      // Most bodies hold no markup but <br> and no address: trimmed straight
      // into the page, they are done; the others are taken back and rewritten.
      page += bodyLead;
      size_t bodyStart = page.size();
      if (!AppendTrimmedBody(page, text, &stops_)) {
        trimmed_.assign(page.View(bodyStart));
        page.Truncate(bodyStart);
        RewriteFieldInto(page, trimmed_, FieldKind::kBody, rules_, anchors_, refs, &stops_);
      }
      page.append("<br><br>"sv).append(eol_);
      return;
    }
    const std::vector<size_t>* stops = nullptr;
    if (m_.notdelsp) {
      if (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    } else {
      TrimBodyBlanksInto(trimmed_, text, &stops_);
      text = trimmed_;
      stops = &stops_;
    }
    if (m_.limitoflinenumber <= 0) {
      page += bodyLead;
      RewriteFieldInto(page, text, FieldKind::kBody, rules_, anchors_, refs, stops);
    } else {
      body_.clear();
      RewriteFieldInto(body_, text, FieldKind::kBody, rules_, anchors_, refs, stops);
      if (CutLongBody(body_, std::string(number))) {
        overflow->append(page.View(entryStart)).append(bodyLead).append(OverflowBody(post));
        overflow->append("<br><br>").append(eol_);
      }
      page.append(bodyLead).append(body_);
    }
    page.append("<br><br>"sv).append(eol_);
  }

  static std::string_view NumberText(int number, char (&digits)[16]) {
    auto [end, error] = std::to_chars(digits, digits + sizeof digits, number);
    return {digits, static_cast<size_t>(end - digits)};
  }

  // The date column rewritten, with its Be link.
  void DateColumn(TextSink& out, std::string_view date, int number) {
    size_t start = out.size();
    RewriteFieldInto(out, date, FieldKind::kDate, rules_, anchors_);
    if (out.View(start).find("BE:") == std::string_view::npos) return;
    beDate_.assign(out.View(start));
    out.Truncate(start);
    AppendBeLinked(out, beDate_, number);
  }

  // Cuts a body of more than `limitoflinenumber` lines and appends the
  // notice that links to the whole post on the "_o.html" page; false when
  // the body is short enough.
  bool CutLongBody(std::string& body, const std::string& number) const {
    if (m_.limitoflinenumber <= 0) return false;
    size_t cut = CutAfterLines(body, m_.limitoflinenumber);
    if (cut == std::string::npos) return false;
    int lines = CountLines(body);
    std::string notice = m_.link_omit_atagstr ? labels_.omittedShort : labels_.omitted;
    if (!m_.nametargetR) notice = Replace(notice, "#R%s", "#%s");
    notice = Replace(notice, "%s", EscapeAttribute(setup_.baseName, common::Charset::kUtf8));
    notice = Replace(notice, "%s", number);
    notice = Replace(notice, "%d", std::to_string(lines - m_.limitoflinenumber));
    body.erase(cut);
    body += Tx(notice);
    return true;
  }

  // The whole body of a cut post for the "_o.html" page, which holds only
  // the cut posts: its post anchors lead into the main page (or its parts).
  std::string OverflowBody(const converter::Post& post) const {
    AnchorContext intoMainPage = anchors_;
    intoMainPage.partFileOf = [this](int number) {
      return EscapeAttribute(Tx(split_ ? PartFile(PartOfNumber(number)) : PartFile(0)),
                             outCharset_);
    };
    std::string converted, trimmed, body;
    std::string_view text = FieldView(post.body, converted);
    if (m_.notdelsp) {
      if (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    } else {
      TrimBodyBlanksInto(trimmed, text);
      text = trimmed;
    }
    RewriteFieldInto(body, text, FieldKind::kBody, rules_, intoMainPage);
    return body;
  }

  // "BE:<id>-<rank>" of the date column links to the member's Be profile:
  // through the page's be() function with belink, else as a plain link.
  std::string BeLink(const std::string& date, int number) {
    std::string linked;
    TextSink out(linked);
    AppendBeLinked(out, date, number);
    return linked;
  }

  // The date with its Be link, appended; written in place for every post
  // that has one, so no strings are built for it.
  void AppendBeLinked(TextSink& out, std::string_view date, int number) {
    size_t at = date.find("BE:");
    size_t idStart = at + 3;
    size_t idEnd = idStart;
    if (at != std::string_view::npos) {
      while (idEnd < date.size() && std::isdigit(static_cast<unsigned char>(date[idEnd]))) ++idEnd;
    }
    if (at == std::string_view::npos || m_.link == 3 || t_.board.threadAddress.empty() ||
        idEnd == idStart || idEnd >= date.size() || date[idEnd] != '-') {
      out += date;
      return;
    }
    size_t end = date.find_first_of(" <", idEnd);
    if (end == std::string_view::npos) end = date.size();
    std::string_view id = date.substr(idStart, idEnd - idStart);
    std::string_view text = date.substr(idStart, end - idStart);
    char digits[16];
    std::string_view numberText = NumberText(number, digits);
    out += date.substr(0, idStart);
    if (ScriptsOn() && cmd_.js.belink) {
      out.append("<a href=\"javascript:be("sv).append(id).append(","sv).append(numberText);
      out.append(");\">"sv);
    } else {
      if (beThreadAddress_.empty()) beThreadAddress_ = ScriptSafe(t_.board.threadAddress);
      out.append("<a href=\"http://be.2ch.net/test/p.php?i="sv).append(id).append("&amp;u=d:"sv);
      out.append(beThreadAddress_).append(numberText).append("\" target=\"_blank\">"sv);
    }
    out.append(text).append("</a>"sv).append(date.substr(end));
  }

  static std::string Language(std::string_view code) {
    if (code == "en") return " By English";
    if (code == "ja") return " By Japanese";
    if (code == "ko") return " By Korean";
    if (code == "zh") return " By Chinese";
    return "";
  }

  static int CountLines(const std::string& body) {
    int lines = 1;
    for (size_t at = body.find("<br>"); at != std::string::npos; at = body.find("<br>", at + 4)) {
      ++lines;
    }
    return lines;
  }

  // Where a body of more than `limit` lines is cut (before the limit-th
  // <br>), npos when it is short enough.
  static size_t CutAfterLines(const std::string& body, int limit) {
    int seen = 0;
    for (size_t at = body.find("<br>"); at != std::string::npos; at = body.find("<br>", at + 4)) {
      if (++seen == limit) return at;
    }
    return std::string::npos;
  }

  // The date field with the weekday rewritten as `hizuke` asks, before its links.
  std::string DateText(const converter::Post& post) const {
    std::string date = Field(post.date);
    if (m_.hizuke == 1 && !post.notation.empty()) {
      // The board's own addition ("ラッキー賞" and the like) goes with its notation.
      std::string notation = Field(post.notation);
      size_t at = date.find(notation);
      if (at != std::string::npos) {
        date.erase(at, notation.size());
        if (at > 0 && at < date.size() && date[at - 1] == ' ' && date[at] == ' ') date.erase(at, 1);
      }
    }
    if (m_.hizuke != 0) {
      date = EncodeWithReferences(
          RewriteDateColumn(common::DecodeToUtf8(date, outCharset_), m_.hizuke), outCharset_);
    }
    return date;
  }

  // The date field as DateText gives it, without a copy when it stays as the log wrote it.
  std::string_view DateView(const converter::Post& post, std::string& storage) const {
    if (m_.hizuke != 0) {
      storage = DateText(post);
      return storage;
    }
    return FieldView(post.date, storage);
  }

  // The name field rewritten; inside a mail link it keeps no links of its
  // own, as anchors do not nest.
  std::string NameText(const converter::Post& post, bool insideMailLink) {
    std::string name;
    AppendName(name, post, insideMailLink);
    return name;
  }

  void AppendName(std::string& out, const converter::Post& post, bool insideMailLink) {
    std::string_view name = FieldView(post.name, name_);
    if (m_.delnamesp) {
      size_t b = name.find_first_not_of(' ');
      size_t e = name.find_last_not_of(' ');
      name = b == std::string_view::npos ? std::string_view() : name.substr(b, e - b + 1);
    }
    RewriteFieldInto(out, name, FieldKind::kName, insideMailLink ? nameInMailRules_ : rules_,
                     anchors_);
  }

  void NameColumn(TextSink& entry, const converter::Post& post) {
    std::string_view mail = FieldView(post.mail, mail_);
    bool mailLink = !mail.empty() && !m_.maildshow;
    // Most posts of a thread carry the same mail ("sage", or none) as the one
    // before; it is written as text with maildshow, else in the link.
    if (mail != lastMail_) {
      lastMail_.assign(mail);
      lastMailWritten_.clear();
      if (m_.maildshow) {
        AppendEscaped(lastMailWritten_, mail, outCharset_);
      } else {
        AppendEscapedAttribute(lastMailWritten_, mail);
      }
    }
    if (mailLink) {
      entry += "<a href=\"mailto:"sv;
      entry += lastMailWritten_;
      entry += "\"><b>"sv;
    } else {
      entry += "<font color=green><b>"sv;
    }
    // Most posts of a thread carry the same name as the one before.
    if (!lastNameKnown_ || post.name != lastName_ || mailLink != lastNameInMailLink_) {
      lastNameKnown_ = true;
      lastName_.assign(post.name);
      lastNameInMailLink_ = mailLink;
      std::string& written = lastNameWritten_;
      written.clear();
      AppendName(written, post, mailLink);
      bool trip = written.compare(0, 7, "</b>\xE2\x97\x86") == 0 ||
                  written.compare(0, 6, "</b>\x81\x9F") == 0 ||
                  written.compare(0, 6, "</b>\xA2\xA1") == 0;
      if (!m_.delnamesp && (trip || m_.readcgi7xx)) written += " "sv;
    }
    entry += lastNameWritten_;
    if (mailLink) {
      entry += "</b></a>"sv;
    } else {
      entry += "</b></font>"sv;
      if (m_.maildshow) {
        entry += "["sv;
        entry += lastMailWritten_;
        entry += "]"sv;
      }
    }
  }

  void Footer(std::string& page, int part, bool overflowPage) {
    if (!m_.omitdldd) page += "</dl>" + eol_;
    if (m_.size) {
      page += "<font color=red face=\"Arial\"><b>" + std::to_string(std::max(1, t_.sizeKb)) +
              " KB</b></font>" + eol_;
    }
    page += "<hr>" + eol_;
    std::string bar = Bar(part, /*top=*/false);
    if (!bar.empty()) page += bar + "<br>" + eol_;
    bool last = part == parts_ - 1;
    if (last && !overflowPage && m_.credit && !cmd_.x && !m_.omitdldd) page += Credit();
    if (part == 0 && !overflowPage && m_.writehtmlindextag && !setup_.indexRecord.empty()) {
      // A record must not close the comment early.
      std::string record = EncodeWithReferences(setup_.indexRecord, outCharset_);
      for (size_t at = record.find("--"); at != std::string::npos; at = record.find("--", at)) {
        record.replace(at, 2, "- -");
      }
      page += "<!--" + eol_ + record + eol_ + "-->" + eol_;
    }
    page += "</body>" + eol_ + "</html>" + eol_;
  }

  const Thread& t_;
  const Options& cmd_;
  const MSwitches& m_;
  const PageSetup& setup_;
  const BoardKindTraits* traits_ = nullptr;
  common::Charset outCharset_ = common::Charset::kCp932;
  common::Charset inCharset_ = common::Charset::kCp932;
  bool sameCharset_ = true;
  std::string eol_;
  Labels labels_;
  long long every_ = 0;
  int parts_ = 1;
  bool split_ = false;
  BodyRules rules_;
  BodyRules nameInMailRules_;
  AnchorContext anchors_;
  mutable std::map<std::string, std::string> converted_;
  // Buffers lent from post to post.
  std::string body_;
  std::string trimmed_;
  std::string converted_body_;
  std::string name_, mail_, date_, id_;
  std::vector<size_t> stops_;
  std::string beDate_;           // a date with "BE:", before its link
  std::string beThreadAddress_;  // the thread's address as the Be link writes it
  std::string lastName_, lastNameWritten_;
  std::string lastMail_, lastMailWritten_;  // the last mail address, as the log and as written  //
                                            // the last name column, as the log and as written
  bool lastNameInMailLink_ = false, lastNameKnown_ = false;
  std::string nameColumnLabel_;
  std::string dateColumnLabel_;
  std::string brokenMark_;
  bool onOverflowPage_ = false;  // the bar is built for the "_o.html" page
};

int PartCount(long long posts, long long every) {
  if (every <= 0 || posts <= 0) return 1;
  // From 1001 posts on, the last part of a round split takes up to three
  // extra posts instead of a part of its own.
  int k = (every == 100 || every == 200 || every == 250 || every == 500) && posts >= 1001 ? 1 : 0;
  long long n = (posts - 3 * k - 1) / every + 1;
  return static_cast<int>(std::max<long long>(1, n));
}

std::string PartFileName(const std::string& baseName, int part, int parts) {
  char number[16];
  const char* format = parts <= 99 ? "_%02d" : parts <= 9999 ? "_%04d" : "_%05d";
  std::snprintf(number, sizeof number, format, part);
  return baseName + number + ".html";
}

BuiltPages BuildPages(const Thread& thread, const Options& cmd, const PageSetup& setup) {
  return PageBuilder(thread, cmd, setup).Build();
}

StandardPieces::StandardPieces(const Thread& thread, const Options& cmd, const PageSetup& setup)
    : builder_(std::make_unique<PageBuilder>(thread, cmd, setup)) {}
StandardPieces::~StandardPieces() = default;
int StandardPieces::parts() const { return builder_->parts(); }
std::pair<size_t, size_t> StandardPieces::PostsOfPart(int part) const {
  return builder_->PostsOfPart(part);
}
std::string StandardPieces::PartFile(int part) const { return builder_->FileOfPart(part); }
LinkPieces StandardPieces::Links(int part, bool overflowPage) {
  return builder_->TopPieces(part, overflowPage);
}
PostPieces StandardPieces::PostFields(size_t index, bool idApart, bool beApart) {
  return builder_->PostFields(index, idApart, beApart);
}
std::string StandardPieces::Title() { return builder_->Title(); }
std::string StandardPieces::AttributeText(const std::string& utf8) const {
  return builder_->AttributeText(utf8);
}
common::Charset StandardPieces::charset() const { return builder_->charset(); }
const char* StandardPieces::CharsetName() const { return builder_->CharsetName(); }

}  // namespace converter::page
