// Real logs through the shoin program, as Yagura calls it and with the
// defaults: the pages must be well-formed for tidy, hold every post once,
// keep their in-page anchors, and show the same posts and title in Chromium.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>

#include "common/encoding.h"
#include "common/file_io.h"

namespace {

namespace fs = std::filesystem;

const std::string kShoin = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";
const std::string kE2e = std::string(TEST_SOURCE_DIR) + "/tests/e2e";

struct Log {
  std::string relative;  // under the real-data folder
  common::Charset charset;
  bool numbered;           // number<>name<>... form, whose numbers may skip
  std::string screenshot;  // board kind shown, "" for none
};

const std::vector<Log> kLogs = {
    {"js2ch-news4vip/1379534723.dat", common::Charset::kCp932, false, ""},
    {"twoB-2ch/2ch_with_id.dat", common::Charset::kCp932, false, "2ch"},
    {"twoB-2ch/2ch_with_id_and_be.dat", common::Charset::kCp932, false, "2ch_be"},
    {"twoB-2ch/example(81-100).dat", common::Charset::kCp932, false, ""},
    {"twoB-2ch/log-falled.dat", common::Charset::kCp932, false, ""},
    {"twoB-jbbs/jbbs.dat", common::Charset::kEucJp, true, "shitaraba"},
    {"twoB-jbbs/aa.dat", common::Charset::kEucJp, true, ""},
    {"twoB-jbbs/aa-euc.dat", common::Charset::kEucJp, true, ""},
    {"twoB-jbbs/unmatch-count-dat.txt", common::Charset::kEucJp, true, ""},
};

std::string Quote(const std::string& s) {
  return "'" + std::regex_replace(s, std::regex("'"), "'\\''") + "'";
}

int RunQuietly(const std::string& command) {
  int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Loads the pages a manifest lists in headless Chromium (tests/e2e/page_check.js)
// and checks their post counts, titles and visible texts.
::testing::AssertionResult CheckInChromium(const std::string& manifest,
                                           const std::filesystem::path& work) {
  const std::string manifestPath = (work / "manifest.json").string();
  if (!common::ReplaceFileAtomically(manifestPath, manifest)) {
    return ::testing::AssertionFailure() << "cannot write " << manifestPath;
  }
  if (!std::filesystem::exists(kE2e + "/node_modules/playwright-core") &&
      RunQuietly("cd " + Quote(kE2e) + " && npm install --no-audit --no-fund --silent") != 0) {
    return ::testing::AssertionFailure() << "npm install of playwright-core failed";
  }
  int status =
      std::system(("cd " + Quote(kE2e) + " && node page_check.js " + Quote(manifestPath)).c_str());
  if (status != 0) return ::testing::AssertionFailure() << "page_check.js reported " << status;
  return ::testing::AssertionSuccess();
}

// Title of a log as its first line holds it (decoded to UTF-8).
std::string TitleOf(const std::string& bytes, const Log& log) {
  std::string line = bytes.substr(0, bytes.find('\n'));
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::vector<std::string> fields;
  for (size_t at = 0;;) {
    size_t next = line.find("<>", at);
    fields.push_back(line.substr(at, next == std::string::npos ? std::string::npos : next - at));
    if (next == std::string::npos) break;
    at = next + 2;
  }
  size_t index = log.numbered ? 5 : 4;
  std::string title = fields.size() > index ? fields[index] : "";
  while (!title.empty() && title.back() == ' ') title.pop_back();
  return common::DecodeToUtf8(title, log.charset);
}

int LineCount(const std::string& bytes) {
  return static_cast<int>(std::count(bytes.begin(), bytes.end(), '\n'));
}

class RealLogs : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(TEST_REALDATA_DIR)) {
      GTEST_SKIP() << "real data folder " << TEST_REALDATA_DIR << " is absent";
    }
    ASSERT_TRUE(fs::exists(kShoin)) << kShoin << " is not built";
    work_ = fs::temp_directory_path() / ("page_realdata_" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override {
    if (!work_.empty() && !HasFailure()) fs::remove_all(work_);
  }

  // Checks one page: tidy, one <dt> per post, in-page anchors that land.
  void CheckPage(const std::string& page, const Log& log, int posts) {
    SCOPED_TRACE(page);
    std::string html = common::ReadWholeFile(page).value_or("");
    ASSERT_FALSE(html.empty());
    std::string encoding = log.charset == common::Charset::kCp932 ? "-shiftjis" : "-raw";
    // tidy exits with 2 on errors, 1 on warnings only.
    EXPECT_LT(RunQuietly("tidy -q -errors " + encoding + " " + Quote(page)), 2);
    int dts = 0;
    for (size_t at = html.find("<dt"); at != std::string::npos; at = html.find("<dt", at + 3))
      ++dts;
    EXPECT_EQ(dts, posts);
    std::set<int> names;
    std::regex name("<a name=\"R([0-9]+)\">");
    for (auto it = std::sregex_iterator(html.begin(), html.end(), name);
         it != std::sregex_iterator(); ++it) {
      EXPECT_TRUE(names.insert(std::stoi((*it)[1])).second) << "post " << (*it)[1] << " twice";
    }
    std::regex target("href=\"#R([0-9]+)\"");
    int targets = 0;
    for (auto it = std::sregex_iterator(html.begin(), html.end(), target);
         it != std::sregex_iterator(); ++it) {
      int n = std::stoi((*it)[1]);
      ++targets;
      // Anchors to posts the log does not hold (beyond its end, or numbers a
      // numbered log skips) have nothing to land on.
      if (n > *names.rbegin() || (log.numbered && !names.count(n))) continue;
      EXPECT_TRUE(names.count(n)) << "#R" << n << " has no target";
    }
    EXPECT_GT(targets, 0);
  }

  fs::path work_;
};

TEST_F(RealLogs, ConvertWithYaguraOptionsAndDefaultsAndShowInChromium) {
  std::string manifest = "[";
  for (const Log& log : kLogs) {
    SCOPED_TRACE(log.relative);
    fs::path source = fs::path(TEST_REALDATA_DIR) / log.relative;
    std::string bytes = common::ReadWholeFile(source.string()).value_or("");
    ASSERT_FALSE(bytes.empty());
    int posts = LineCount(bytes);
    std::string base = source.stem().string();
    // Yagura's call: the page lands next to the dat, in the dat's folder.
    fs::path yaguraDir = work_ / ("y_" + base);
    fs::create_directories(yaguraDir);
    fs::copy_file(source, yaguraDir / source.filename());
    std::string dat = (yaguraDir / source.filename()).string();
    EXPECT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(dat) + " " + Quote(yaguraDir.string()) +
                         " /js=80F /m=E2058000 /o=E01B1E"),
              0);
    std::string yaguraPage = (yaguraDir / (base + ".html")).string();
    ASSERT_TRUE(fs::exists(yaguraPage));
    CheckPage(yaguraPage, log, posts);
    // The defaults, into another folder.
    fs::path defaultsDir = work_ / ("d_" + base);
    EXPECT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(source.string()) + " " +
                         Quote(defaultsDir.string())),
              0);
    std::string defaultsPage = (defaultsDir / (base + ".html")).string();
    ASSERT_TRUE(fs::exists(defaultsPage));
    CheckPage(defaultsPage, log, posts);

    std::string title = TitleOf(bytes, log);
    for (const std::string& page : {yaguraPage, defaultsPage}) {
      std::string shot;
      if (!log.screenshot.empty() && page == yaguraPage) {
        shot = std::string(TEST_PROGRAM_DIR) + "/../page_screenshot_" + log.screenshot + ".png";
      }
      std::string escapedTitle = std::regex_replace(title, std::regex(R"(["\\])"), "\\$&");
      manifest += std::string(manifest.size() > 1 ? "," : "") + "{\"file\":\"" + page +
                  "\",\"posts\":" + std::to_string(posts) + ",\"title\":\"" +
                  (title.empty() ? "(無題)" : escapedTitle) + "\"" +
                  (shot.empty() ? "" : ",\"screenshot\":\"" + shot + "\"") + "}";
    }
  }
  // One page of each board kind's layout, the kind forced by /f, to look at.
  struct KindShot {
    const char* letter;
    const char* name;
    size_t log;
  };
  for (const KindShot& kind : {KindShot{"1", "2ch", 1}, KindShot{"3", "be2ch", 2},
                               KindShot{"4", "machibbs", 1}, KindShot{"7", "world2ch", 0}}) {
    const Log& log = kLogs[kind.log];
    fs::path source = fs::path(TEST_REALDATA_DIR) / log.relative;
    fs::path dir = work_ / (std::string("kind_") + kind.name);
    EXPECT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(source.string()) + " " + Quote(dir.string()) +
                         " /js=80F /m=E2058000 /o=E01B1E /f=" + kind.letter),
              0);
    std::string bytes = common::ReadWholeFile(source.string()).value_or("");
    std::string page = (dir / (source.stem().string() + ".html")).string();
    std::string title = std::regex_replace(TitleOf(bytes, log), std::regex(R"(["\\])"), "\\$&");
    manifest += ",{\"file\":\"" + page + "\",\"posts\":" + std::to_string(LineCount(bytes)) +
                ",\"title\":\"" + title + "\",\"screenshot\":\"" + TEST_PROGRAM_DIR +
                "/../page_screenshot_kind_" + kind.name + ".png\"}";
  }
  // A split thread: every part is a page of its own, in the thread's folder.
  {
    const Log& log = kLogs[1];
    fs::path source = fs::path(TEST_REALDATA_DIR) / log.relative;
    fs::path splitDir = work_ / "split";
    EXPECT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(source.string()) + " " +
                         Quote(splitDir.string()) + " /d=100 /m=E2058000"),
              0);
    std::string title = TitleOf(common::ReadWholeFile(source.string()).value_or(""), log);
    const int sizes[] = {100, 100, 100, 100, 100, 86};
    for (int part = 1; part <= 6; ++part) {
      std::string page =
          (splitDir / "2ch_with_id" / ("2ch_with_id_0" + std::to_string(part) + ".html")).string();
      ASSERT_TRUE(fs::exists(page)) << page;
      EXPECT_LT(RunQuietly("tidy -q -errors -shiftjis " + Quote(page)), 2) << page;
      manifest += ",{\"file\":\"" + page + "\",\"posts\":" + std::to_string(sizes[part - 1]) +
                  ",\"title\":\"" + title + "\"}";
    }
  }
  manifest += "]";
  EXPECT_TRUE(CheckInChromium(manifest, work_));
}

}  // namespace

namespace {

class ShoinPages : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fs::exists(kShoin)) << kShoin << " is not built";
    work_ = fs::temp_directory_path() / ("page_program_" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override {
    if (!HasFailure()) fs::remove_all(work_);
  }
  // Writes a log (UTF-8 text encoded as `charset`) named `name`.
  std::string WriteLog(const std::string& name, const std::string& utf8, common::Charset charset) {
    std::string bytes;
    common::EncodeFromUtf8(utf8, charset, bytes);
    std::string path = (work_ / name).string();
    EXPECT_TRUE(common::ReplaceFileAtomically(path, bytes));
    return path;
  }
  fs::path work_;
};

TEST_F(ShoinPages, LogScriptNeverRunsAndStaysVisible) {
  std::string log =
      "<script>window.__pwned=true;alert(1)</script><><>2008/01/07(月) 14:10:06 ID:abc<>"
      " <img src=x onerror=\"window.__pwned=true;alert(2)\"> <br> <a "
      "href=\"javascript:alert(3)\">押す</a>"
      " <br> <b onmouseover=\"alert(4)\">太字</b> <br> <iframe "
      "src=\"javascript:alert(5)\"></iframe> <>"
      "<script>alert(6)</script>題\n"
      "名無し<>\"><script>alert(7)</script><>2008/01/07(月) 14:11:06 ID:def<>"
      " <a href=\"../test/read.cgi/x/1199684206/1\" target=\"_blank\">&gt;&gt;1</a> <br> ふつう "
      "<>\n";
  std::string dat = WriteLog("1199684206.dat", log, common::Charset::kCp932);
  ASSERT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(dat) + " " + Quote(work_.string()) +
                       " /js=80F /m=E2058000 /o=E01B1E"),
            0);
  std::string page = (work_ / "1199684206.html").string();
  ASSERT_TRUE(fs::exists(page));
  std::string html = common::Cp932ToUtf8(common::ReadWholeFile(page).value_or(""));
  EXPECT_THAT(html, ::testing::HasSubstr("<a href=\"#R1\">&gt;&gt;1</a>"));
  std::string manifest =
      "[{\"file\":\"" + page +
      "\",\"posts\":2,\"title\":\"&lt;script&gt;alert(6)&lt;/script&gt;題\","
      "\"mustShow\":[\"<script>window.__pwned=true;alert(1)</script>\","
      "\"<img src=x onerror=\\\"window.__pwned=true;alert(2)\\\">\",\"押す\",\"ふつう\"]}]";
  EXPECT_TRUE(CheckInChromium(manifest, work_));
}

TEST_F(ShoinPages, YaguraCallLeavesThePageBesideTheDat) {
  std::string log =
      "名無し<>sage<>2008/01/07(月) 14:10:06 ID:abc<> 本文 <>スレッド\n"
      "名無し<><>2008/01/07(月) 14:11:06 ID:def<> <a href=\"../test/read.cgi/x/1199684208/1\" "
      "target=\"_blank\">&gt;&gt;1</a> <>\n";
  fs::create_directories(work_ / "dat");
  std::string dat = WriteLog("dat/1199684208.dat", log, common::Charset::kCp932);
  // The call exactly as Yagura makes it, /v included.
  ASSERT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(dat) + " " + Quote((work_ / "dat").string()) +
                       " /js=80F /m=E2058000 /o=E01B1E /v"),
            0);
  std::string html = common::Cp932ToUtf8(
      common::ReadWholeFile((work_ / "dat" / "1199684208.html").string()).value_or(""));
  EXPECT_THAT(html, ::testing::HasSubstr("<script type=\"text/javascript\" defer>"));
  EXPECT_THAT(html, ::testing::HasSubstr("<a href=\"#R1\">&gt;&gt;1</a>"));
  EXPECT_THAT(html,
              ::testing::HasSubstr("名前：<font color=green><b>名無し</b></font>[sage]投稿日："));
  EXPECT_THAT(html, ::testing::HasSubstr("<b>1 KB</b>"));
}

TEST_F(ShoinPages, OverLongPostIsMarkedBrokenAndTheRestConverts) {
  std::string log = "名無し<><>2008/01/07(月) 14:10:06 ID:abc<> 一番目 <>題\n";
  log += "名無し<><>2008/01/07(月) 14:11:06 ID:def<> " + std::string(200000, 'x') + " <>\n";
  log += "名無し<><>2008/01/07(月) 14:12:06 ID:ghi<> 三番目 <>\n";
  std::string dat = WriteLog("1199684209.dat", log, common::Charset::kCp932);
  ASSERT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(dat) + " " + Quote(work_.string())), 0);
  std::string html =
      common::Cp932ToUtf8(common::ReadWholeFile((work_ / "1199684209.html").string()).value_or(""));
  EXPECT_THAT(html, ::testing::HasSubstr("<dd> 一番目"));
  EXPECT_THAT(html,
              ::testing::HasSubstr(
                  "<a name=\"R2\">2</a> 名前：<font color=green><b>[ここ壊れてます]</b></font>"));
  EXPECT_THAT(html, ::testing::HasSubstr("<dd> 三番目"));
  EXPECT_LT(html.size(), 20000u);
}

TEST_F(ShoinPages, MoveWithoutPathAndFolderLetters) {
  std::string log = "名無し<><>2008/01/07(月) 14:10:06 ID:abc<> 本文 <>題\n";
  fs::create_directories(work_ / "in");
  std::string dat = WriteLog("in/1199684210.dat", log, common::Charset::kCp932);
  ASSERT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(dat) + " " + Quote((work_ / "out").string()) +
                       " /mv /a=f"),
            0);
  EXPECT_TRUE(fs::exists(work_ / "out" / "1199" / "1199684210.html"));
  // The dat follows its page.
  EXPECT_FALSE(fs::exists(dat));
  EXPECT_TRUE(fs::exists(work_ / "out" / "1199" / "1199684210.dat"));
}

struct EncodingCase {
  const char* name;
  common::Charset input;
  const char* mDigit9;  // /m digit 9: 2 Shift_JIS, 4 EUC-JP, 6 UTF-8
  common::Charset output;
  const char* charsetName;
};

class ForcedOutput : public ShoinPages, public ::testing::WithParamInterface<EncodingCase> {};

TEST_P(ForcedOutput, PageIsInTheForcedEncoding) {
  const EncodingCase& c = GetParam();
  // "①" and "髙" exist in CP932 but not in plain EUC-JP tables; "😀" and "한"
  // exist in neither Japanese encoding.
  std::string log =
      "名無し<>sage<>2008/01/07(月) 14:10:06 ID:abc<> 漢字かな①髙😀한 <br> 二行目 "
      "<>文字コードの試験\n"
      "名無し<><>2008/01/07(月) 14:11:06 ID:def<> 二番目 <>\n";
  std::string dat = WriteLog("1199684207.dat", log, c.input);
  ASSERT_EQ(RunQuietly(Quote(kShoin) + " " + Quote(dat) + " " + Quote(work_.string()) +
                       " /m=810D9000" + c.mDigit9),
            0);
  std::string bytes = common::ReadWholeFile((work_ / "1199684207.html").string()).value_or("");
  ASSERT_FALSE(bytes.empty());
  EXPECT_THAT(bytes, ::testing::HasSubstr(std::string("charset=") + c.charsetName));
  std::string html = common::DecodeToUtf8(bytes, c.output);
  EXPECT_THAT(html, ::testing::HasSubstr("<title>文字コードの試験</title>"));
  EXPECT_THAT(html, ::testing::HasSubstr("漢字かな"));
  EXPECT_THAT(html, ::testing::HasSubstr("二行目"));
  if (c.input == common::Charset::kUtf8) {
    // Only a UTF-8 log can hold it; a Japanese page shows it as a reference.
    EXPECT_THAT(html,
                ::testing::AnyOf(::testing::HasSubstr("😀"), ::testing::HasSubstr("&#128512;")));
  }
  EXPECT_THAT(html, ::testing::Not(::testing::HasSubstr("\xEF\xBF\xBD")));  // no replacement mark
}

INSTANTIATE_TEST_SUITE_P(Encodings, ForcedOutput,
                         ::testing::Values(EncodingCase{"Utf8ToShiftJis", common::Charset::kUtf8,
                                                        "2", common::Charset::kCp932, "Shift_JIS"},
                                           EncodingCase{"EucJpToShiftJis", common::Charset::kEucJp,
                                                        "2", common::Charset::kCp932, "Shift_JIS"},
                                           EncodingCase{"ShiftJisToUtf8", common::Charset::kCp932,
                                                        "6", common::Charset::kUtf8, "UTF-8"},
                                           EncodingCase{"ShiftJisToEucJp", common::Charset::kCp932,
                                                        "4", common::Charset::kEucJp, "EUC-JP"}),
                         [](const ::testing::TestParamInfo<EncodingCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
