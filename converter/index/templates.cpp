#include "converter/index/templates.h"

#include <optional>

#include "common/encoding.h"
#include "common/file_io.h"

namespace converter::index {
namespace {

constexpr const char* kListHeaderPlain =
    "<html><RET/><head><RET/>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=<CHARSET/>\"><RET/>"
    "<title><INDEXTITLE/></title><RET/></head><RET/>"
    "<body bgcolor=\"#efefef\" text=\"black\" link=\"blue\" alink=\"red\" vlink=\"#660099\"><RET/>"
    "<BOARDTITLE/><RET/><br><RET/>";

constexpr const char* kListBodyPlain =
    "\u3000<ONLYMESSAGE><dl><dt>\u3000\u3000</ONLYMESSAGE>"
    "<a href=\"<THREADPATH/><FILENAME/>\"><NUMBER/><ONLYNUMBER>\uFF1A</ONLYNUMBER><THREADTITLE/>"
    "<ONLYRESCOUNT>(</ONLYRESCOUNT><RESCOUNT/><ONLYRESCOUNT>)</ONLYRESCOUNT></a><br><RET/>"
    "<ONLYMESSAGE><dd><MESSAGE/></dl><RET/></ONLYMESSAGE>";

constexpr const char* kFooterPlain = "<br><RET/></body><RET/></html><RET/>";

constexpr const char* kHeaderDecorated =
    "<!DOCTYPE HTML PUBLIC \"-//W3C//DTD HTML 4.01 "
    "Transitional//EN\"><RET/><html><RET/><head><RET/>"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=<CHARSET/>\"><RET/>"
    "<title><INDEXTITLE/></title><RET/></head><RET/>"
    "<body text=\"#000000\" bgcolor=\"#dddddd\" link=\"#0000ff\" alink=\"#ff0000\" "
    "vlink=\"#660099\" background=\"<BGFILEPATH/>\"><RET/>"
    "<ONLYBOARDTITLE><table border=\"1\" width=\"95%\" bgcolor=\"#bbeebb\" align=\"center\">"
    "<tr><td>&nbsp;&nbsp;&nbsp;&nbsp;&nbsp;<BOARDTITLE/></td></tr></table><br><RET/>"
    "</ONLYBOARDTITLE>";

constexpr const char* kListTableDecorated =
    "<table border=\"1\" cellspacing=\"11\" cellpadding=\"2\" width=\"95%\" bgcolor=\"#ccffcc\" "
    "align=\"center\"><RET/><tr><td><RET/>";

constexpr const char* kListBodyDecorated =
    "\u3000<ONLYMESSAGE><strong></ONLYMESSAGE>"
    "<a href=\"<THREADPATH/><FILENAME/>\"><NUMBER/><ONLYNUMBER>\uFF1A</ONLYNUMBER><THREADTITLE/>"
    "<ONLYRESCOUNT>(</ONLYRESCOUNT><RESCOUNT/><ONLYRESCOUNT>)</ONLYRESCOUNT></a>"
    "<ONLYMESSAGE></strong></ONLYMESSAGE><br><RET/>"
    "<ONLYMESSAGE><table border=\"1\" width=\"98%\" bgcolor=\"#e4ffee\" align=\"center\">"
    "<tr><td><MESSAGE/></td></tr></table><br><RET/></ONLYMESSAGE>";

constexpr const char* kListFooterDecorated =
    "</td></tr><RET/></table><RET/><font size=\"1\"><br></font><RET/></body><RET/></html><RET/>";

constexpr const char* kTreeRow =
    "<tr><td align=\"left\">&nbsp;<a href=\"<TARGETPATH/><FILENAME/>\"><ITEM/></a>&nbsp;</td><RET/>"
    "<td align=\"right\">&nbsp;<FILECOUNT/>&nbsp;</td></tr><RET/>";

constexpr const char* kTreeBodyFooter =
    "<tr><td align=\"left\">&nbsp;<ITEMCOUNT/>\u500B\u306E\u9805\u76EE&nbsp;</td>"
    "<td align=\"right\">&nbsp;<ALLFILECOUNT/>files&nbsp;</td></tr><RET/></table><RET/>"
    "<p><LINK_INDEXNINE/><p><LINK_INDEXZERO/><RET/>";

struct TemplateFile {
  const char* name;
  std::string* target;
};

// A user's template: UTF-8 as it stands, else taken as CP932.
std::optional<std::string> ReadTemplate(const std::string& path, bool& failed) {
  failed = false;
  if (!common::FileExists(path)) return std::nullopt;
  std::optional<std::string> bytes = common::ReadWholeFile(path);
  if (!bytes) {
    failed = true;
    return std::nullopt;
  }
  return common::IsValidUtf8(*bytes) ? *bytes : common::Cp932ToUtf8(*bytes);
}

// Loads the files of one folder; true when every file was there.
bool LoadFolder(const std::string& folder, const std::vector<TemplateFile>& files,
                Reporter& reporter, bool& error) {
  bool all = true;
  for (const TemplateFile& file : files) {
    reporter.Say(folder + file.name + "を読み込み中...");
    bool failed = false;
    std::optional<std::string> text = ReadTemplate(folder + file.name, failed);
    if (text) {
      *file.target = *text;
      reporter.Say(" Ok\r\n");
    } else {
      reporter.Say(failed ? "failed\r\n" : "not found\r\n");
      all = false;
      error = error || failed;
    }
  }
  return all;
}

void RemoveBlocks(std::string& text, std::string_view name, bool keep) {
  const std::string open = "<" + std::string(name) + ">";
  const std::string close = "</" + std::string(name) + ">";
  for (size_t at = text.find(open); at != std::string::npos; at = text.find(open, at)) {
    size_t end = text.find(close, at + open.size());
    if (end == std::string::npos) {
      // An unclosed block: only its opening tag goes.
      text.erase(at, open.size());
      continue;
    }
    if (keep) {
      text.erase(end, close.size());
      text.erase(at, open.size());
    } else {
      text.erase(at, end + close.size() - at);
    }
  }
  // A closing tag without its opening one.
  for (size_t at = text.find(close); at != std::string::npos; at = text.find(close, at)) {
    text.erase(at, close.size());
  }
}

}  // namespace

ThreadListTemplate BuiltInThreadList(bool decorated) {
  if (decorated) {
    return {std::string(kHeaderDecorated) + kListTableDecorated, kListBodyDecorated,
            kListFooterDecorated};
  }
  return {kListHeaderPlain, kListBodyPlain, kFooterPlain};
}

TreeTemplate BuiltInTree(bool decorated) {
  TreeTemplate tree;
  if (decorated) {
    tree.header = kHeaderDecorated;
    tree.bodyHeader =
        "<table border=\"1\" cellspacing=\"2\" cellpadding=\"2\" width=\"95%\" bgcolor=\"#ccffcc\" "
        "align=\"center\"><RET/><tr><th><ITEM_HEADER/></th><th>\u30B9\u30EC\u30C3\u30C9\u306E"
        "\u6570</th></tr><RET/>";
    tree.footer = "<font size=\"1\"><br></font><RET/></body><RET/></html><RET/>";
  } else {
    tree.header = kListHeaderPlain;
    tree.bodyHeader =
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"2\"><RET/>"
        "<tr><th><ITEM_HEADER/></th><th>\u30B9\u30EC\u30C3\u30C9\u306E\u6570</th></tr><RET/>";
    tree.footer = kFooterPlain;
  }
  tree.body = kTreeRow;
  tree.bodyFooter = kTreeBodyFooter;
  return tree;
}

IndexTemplates LoadIndexTemplates(const Options& cmd, Reporter& reporter) {
  const bool decorated = cmd.i.decorated;
  IndexTemplates t{BuiltInThreadList(decorated), BuiltInTree(decorated)};
  bool builtInUsed = true;
  if (cmd.i.digits[8] == 1) {
    reporter.Say("インデックスファイル作成のためのテンプレートを読み込みます\r\n");
    bool error = false;
    std::string root = cmd.programFolder + "template/";
    bool listAll = LoadFolder(root + "index_threadlist/",
                              {{"header.html", &t.list.header},
                               {"body.html", &t.list.body},
                               {"footer.html", &t.list.footer}},
                              reporter, error);
    bool treeAll = LoadFolder(root + "index_tree/",
                              {{"header.html", &t.tree.header},
                               {"body_header.html", &t.tree.bodyHeader},
                               {"body.html", &t.tree.body},
                               {"body_footer.html", &t.tree.bodyFooter},
                               {"footer.html", &t.tree.footer}},
                              reporter, error);
    if (error) reporter.Say("テンプレート読み込み時にエラーが発生しました\r\n");
    builtInUsed = !listAll || !treeAll;
  }
  if (builtInUsed) {
    reporter.Say(
        std::string("インデックスファイル作成のためにSHOIN標準のテンプレートを使用します") +
        (decorated ? "\r\n" : "(ｼﾝﾌﾟﾙ)\r\n"));
  }
  return t;
}

std::string FillTemplate(std::string_view source, const MarkerValues& values,
                         const OnlyBlocks& only, std::string_view eol) {
  std::string text(source);
  RemoveBlocks(text, "ONLYNUMBER", only.number);
  RemoveBlocks(text, "ONLYRESCOUNT", only.rescount);
  RemoveBlocks(text, "ONLYMESSAGE", only.message);
  RemoveBlocks(text, "ONLYBOARDTITLE", only.boardtitle);
  // One pass, so that a value holding a marker's text is never replaced again.
  std::string out;
  out.reserve(text.size() + 256);
  size_t at = 0;
  while (at < text.size()) {
    size_t open = text.find('<', at);
    if (open == std::string::npos) {
      out.append(text, at, std::string::npos);
      break;
    }
    out.append(text, at, open - at);
    size_t close = text.find("/>", open);
    size_t nextOpen = text.find('<', open + 1);
    if (close != std::string::npos && (nextOpen == std::string::npos || close < nextOpen)) {
      std::string_view name(text.data() + open + 1, close - open - 1);
      if (name == "RET") {
        out += eol;
        at = close + 2;
        continue;
      }
      bool found = false;
      for (const auto& [marker, value] : values) {
        if (marker == name) {
          out += value;
          found = true;
          break;
        }
      }
      if (found) {
        at = close + 2;
        continue;
      }
    }
    out += '<';
    at = open + 1;
  }
  return out;
}

}  // namespace converter::index
