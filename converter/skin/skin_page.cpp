#include "converter/skin/skin_page.h"

#include <cctype>
#include <cstdio>

#include "converter/reading/kanjicode.h"
#include "converter/skin/skin_markers.h"

namespace converter::skin {
namespace {

// "file://" + the skin folder as an address (blanks and signs that would end
// or cut an address written as %XX).
std::string FolderAddress(const std::string& folder) {
  std::string address = "file://";
  for (char c : folder) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u <= 0x20 || c == '%' || c == '#' || c == '?' || c == '"' || c == '<' || c == '>') {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", u);
      address += hex;
    } else {
      address += c;
    }
  }
  return address;
}

// The name of the BBS as the standard link bar labels its top-page link.
std::string BbsName(const Thread& thread) {
  const BoardKindTraits& traits = thread.traits ? *thread.traits : TraitsOf(thread.kind);
  if (!traits.TopPageLabel().empty()) return std::string(traits.TopPageLabel());
  if (thread.kind == BoardKind::k2ch) return "２ちゃんねる";
  return "";
}

class SkinPageBuilder {
 public:
  SkinPageBuilder(const Thread& thread, const Options& cmd, const page::PageSetup& setup,
                  const Skin& skin)
      : t_(thread),
        cmd_(cmd),
        setup_(WithEncoding(setup, skin, thread)),
        skin_(skin),
        pieces_(thread, cmd, setup_) {
    header_ = InPageEncoding(skin.header.utf8);
    post_ = InPageEncoding(skin.post.utf8);
    footer_ = InPageEncoding(skin.footer.utf8);
    idApart_ = HasMarker(skin.post.utf8, "ID");
    beApart_ = false;
    for (const char* marker : {"BE", "BEID", "BELEVEL", "BESTRING", "BASEBEID"}) {
      beApart_ = beApart_ || HasMarker(skin.post.utf8, marker);
    }
  }

  page::BuiltPages Build() {
    page::BuiltPages result;
    result.parts = pieces_.parts();
    result.split = result.parts > 1;
    result.refs.resize(t_.posts.size());
    std::string overflowPosts;  // posts cut after limitoflinenumber lines, whole
    for (int part = 0; part < result.parts; ++part) {
      MarkerValues values = ThreadValues(part);
      std::string page;
      FillMarkers(page, header_, values);
      auto [first, last] = pieces_.PostsOfPart(part);
      for (size_t i = first; i < last; ++i) {
        page::PostPieces post = pieces_.PostFields(i, idApart_, beApart_);
        if (post.empty) continue;  // a post without any field writes nothing
        MarkerValues values = PostValues(post);
        FillMarkers(page, post_, values);
        ++result.postsWritten;
        if (!post.wholeBody.empty()) {
          values.back().second = post.wholeBody;  // <MESSAGE/>
          FillMarkers(overflowPosts, post_, values);
        }
      }
      FillMarkers(page, footer_, values);
      result.files.push_back({setup_.folder + pieces_.PartFile(part), std::move(page)});
    }
    if (!overflowPosts.empty()) {
      // The "_o.html" page: the cut posts whole, its links leading into the main page.
      MarkerValues values = ThreadValues(result.parts - 1, /*overflowPage=*/true);
      std::string page;
      FillMarkers(page, header_, values);
      page += overflowPosts;
      FillMarkers(page, footer_, values);
      result.files.push_back({setup_.folder + setup_.baseName + "_o.html", std::move(page)});
      result.overflow = true;
    }
    return result;
  }

 private:
  static page::PageSetup WithEncoding(page::PageSetup setup, const Skin& skin,
                                      const Thread& thread) {
    setup.outputKanjicode = skin.kanjicode != 0 ? skin.kanjicode : thread.outputKanjicode;
    return setup;
  }

  std::string InPageEncoding(const std::string& utf8) const {
    return EncodeWithReferences(utf8, pieces_.charset());
  }

  std::string Text(const std::string& utf8) const { return pieces_.AttributeText(utf8); }

  MarkerValues ThreadValues(int part, bool overflowPage = false) {
    page::LinkPieces links = pieces_.Links(part, overflowPage);
    if (overflowPage) links.credit.clear();
    const BoardKindTraits& traits = t_.traits ? *t_.traits : TraitsOf(t_.kind);
    std::string posts = std::to_string(std::max<long long>(t_.postCount, t_.posts.size()));
    std::string skinPath = cmd_.uploadUrl.empty() ? FolderAddress(skin_.folder) : cmd_.uploadUrl;
    int parts = pieces_.parts();
    return {
        {"THREADURL", Text(t_.board.threadAddress)},
        {"SKINPATH", Text(skinPath)},
        {"GETRESCOUNT", posts},
        {"ALLRESCOUNT", posts},
        {"NEWRESCOUNT", "0"},
        {"BOARDNAME",
         t_.board.name.empty() ? "" : Text(std::string(traits.BoardLabelPrefix()) + t_.board.name)},
        {"BBSNAME", Text(BbsName(t_))},
        {"BOARDURL", Text(t_.board.address)},
        {"THREADNAME", pieces_.Title()},
        {"SIZE", std::to_string(t_.fileSize)},
        {"SIZEKB", std::to_string(std::max(1, t_.sizeKb))},
        {"INDEXPATH", Text(setup_.indexLink)},
        {"BACKPATH", part > 0 ? Text(pieces_.PartFile(part - 1)) : ""},
        {"NEXTPATH", part + 1 < parts ? Text(pieces_.PartFile(part + 1)) : ""},
        {"LINK_BACKTOBOARD", links.backToBoard},
        {"LINK_BACKTOINDEX", links.backToIndex},
        {"LINK_SOURCETHREAD", links.sourceThread},
        {"LINK_ALL", links.all},
        {"LINK_RESNUMBER", links.resNumber},
        {"LINK_LASTFIFTY", links.lastFifty},
        {"LINK_BACK", links.back},
        {"LINK_NEXT", links.next},
        {"LINK_CREDIT", links.credit},
        {"CHARSET", pieces_.CharsetName()},
        // Kept by skins made for rebuilding earlier pages; there is nothing to rebuild from.
        {"INDEXCODE_FORRECOMPOSE", ""},
    };
  }

  MarkerValues PostValues(const page::PostPieces& post) const {
    std::string n = std::to_string(post.number);
    // The anchor's name follows the in-page links, so that they land.
    std::string anchor = (cmd_.m.nametargetR ? "R" : "") + n;
    std::string bold = "<b>" + post.name + "</b>";
    std::string mailName =
        post.mail.empty() ? bold : "<a href=\"mailto:" + post.mailAttribute + "\">" + bold + "</a>";
    return {
        {"NUMBER", "<a href=\"menu:" + n + "\" name=\"" + anchor + "\">" + n + "</a>"},
        {"PLAINNUMBER", n},
        {"NAME", bold},
        {"MAILNAME", mailName},
        {"MAIL", post.mail},
        {"DATE", post.date},
        {"ID", post.id},
        {"BE", post.be},
        {"BEID", post.beId},
        {"BASEBEID", post.beId},
        {"BELEVEL", post.beLevel},
        {"BESTRING", post.beString},
        {"MESSAGE", post.body},
    };
  }

  const Thread& t_;
  const Options& cmd_;
  page::PageSetup setup_;
  const Skin& skin_;
  page::StandardPieces pieces_;
  std::string header_, post_, footer_;
  bool idApart_ = false;
  bool beApart_ = false;
};

}  // namespace

page::BuiltPages BuildSkinPages(const Thread& thread, const Options& cmd,
                                const page::PageSetup& setup, const Skin& skin) {
  return SkinPageBuilder(thread, cmd, setup, skin).Build();
}

}  // namespace converter::skin
