// The pop-up script in Debian's Chromium (tests/e2e/popup_check.js), on pages
// the shoin program makes from the real logs, from a made-up log of 1000 posts
// with every anchor form, and from a hostile log.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>

#include "common/encoding.h"
#include "common/file_io.h"

namespace {

namespace fs = std::filesystem;

const std::string kShoin = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";
const std::string kE2e = std::string(TEST_SOURCE_DIR) + "/tests/e2e";
const fs::path kReal = TEST_REALDATA_DIR;

std::string Quote(const std::string& s) {
  return "'" + std::regex_replace(s, std::regex("'"), "'\\''") + "'";
}

int RunQuietly(const std::string& command) {
  int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string Anchor(int key, const std::string& target, const std::string& text) {
  return "<a href=\"../test/read.cgi/x/" + std::to_string(key) + "/" + target +
         "\" target=\"_blank\">" + text + "</a>";
}

// 1000 posts: a chain of anchors (post n names n-1 up to post 40), every
// anchor form, two posts that name each other, IDs shared by three posts and
// an ID of question marks.
std::string MadeUpLog(int key) {
  std::string log;
  for (int n = 1; n <= 1000; ++n) {
    std::string id = n % 100 == 1 ? "ID:Same0001" : "ID:u" + std::to_string(n);
    if (n == 300) id = "ID:???";
    std::string body = "本文 " + std::to_string(n);
    if (n >= 2 && n <= 40)
      body = Anchor(key, std::to_string(n - 1), "&gt;&gt;" + std::to_string(n - 1)) + " 鎖";
    if (n == 50) body = Anchor(key, "5-", "&gt;&gt;5-") + " 開いた範囲";
    if (n == 51) body = Anchor(key, "1-2000", "&gt;&gt;1-2000") + " 広い範囲";
    if (n == 52) body = Anchor(key, "12", "＞＞１２") + " 全角";
    if (n == 53) body = Anchor(key, "12", "&gt;&gt;12");
    if (n == 54) body = Anchor(key, "10", "&gt;&gt;10,12+14");
    if (n == 901) body = Anchor(key, "902", "&gt;&gt;902") + " 相互";
    if (n == 902) body = Anchor(key, "901", "&gt;&gt;901") + " 相互";
    if (n == 999) body = Anchor(key, "1", "&gt;&gt;1") + " 最初";
    log += "名無し<>sage<>2008/01/07(月) 14:10:06 " + id + "<> " + body + " <>" +
           (n == 1 ? "アンカーの試験" : "") + "\n";
  }
  return log;
}

class PopupInChromium : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kReal)) GTEST_SKIP() << "real data folder " << kReal << " is absent";
    ASSERT_TRUE(fs::exists(kShoin)) << kShoin << " is not built";
    work_ = fs::temp_directory_path() / ("popup_browser_" + std::to_string(getpid()));
    fs::remove_all(work_);
    fs::create_directories(work_);
  }
  void TearDown() override {
    if (!work_.empty() && !HasFailure()) fs::remove_all(work_);
  }
  // Converts `dat` into its own folder with `options`; returns the page.
  std::string Convert(const fs::path& dat, const std::string& folder, const std::string& options) {
    fs::path out = work_ / folder;
    fs::create_directories(out);
    EXPECT_EQ(RunQuietly("cd " + Quote(work_.string()) + " && " + Quote(kShoin) + " " +
                         Quote(dat.string()) + " " + Quote(out.string()) + " " + options),
              0)
        << dat;
    return (out / (dat.stem().string() + ".html")).string();
  }
  fs::path work_;
};

TEST_F(PopupInChromium, PopUpsOfRealAndMadeUpLogs) {
  const std::string yagura = "/js=80F /m=E2058000 /o=E01B1E";
  std::string real = Convert(kReal / "twoB-2ch/2ch_with_id.dat", "real", yagura);
  std::string world = Convert(kReal / "js2ch-news4vip/1379534723.dat", "world", yagura + " /f=7");
  std::string search = Convert(kReal / "twoB-2ch/2ch_with_id.dat", "search", "/js=880");
  std::string be = Convert(kReal / "twoB-2ch/2ch_with_id_and_be.dat", "be", yagura + " /f=3");

  std::string madeUp;
  common::EncodeFromUtf8(MadeUpLog(1199684300), common::Charset::kCp932, madeUp);
  ASSERT_TRUE(common::ReplaceFileAtomically((work_ / "1199684300.dat").string(), madeUp));
  std::string synth = Convert(work_ / "1199684300.dat", "synth", yagura);

  std::string hostileLog =
      "<script>window.__pwned=true;alert(1)</script><><>2008/01/07(月) 14:10:06 ID:abc<>"
      " <img src=x onerror=\"window.__pwned=true;alert(2)\"> <br> <b onmouseover=\"alert(4)\">"
      "太字</b> <br> &lt;script&gt;alert(8)&lt;/script&gt; <>題\n"
      "名無し<>\"><script>alert(7)</script><>2008/01/07(月) 14:11:06 ID:abc<>"
      " <a href=\"../test/read.cgi/x/1199684301/1\" target=\"_blank\">&gt;&gt;1</a> ふつう <>\n";
  std::string hostileBytes;
  common::EncodeFromUtf8(hostileLog, common::Charset::kCp932, hostileBytes);
  ASSERT_TRUE(common::ReplaceFileAtomically((work_ / "1199684301.dat").string(), hostileBytes));
  std::string hostile = Convert(work_ / "1199684301.dat", "hostile", yagura);

  std::string beLog =
      "名無し<><>2008/08/17(日) 15:30:19 ID:a1 <BE:111:3><> 一 <>Be\n"
      "名無し<><>2008/08/17(日) 15:31:19 ID:a2 <BE:222:1><> 二 <>\n"
      "名無し<><>2008/08/17(日) 15:32:19 ID:a3 <BE:333:3><> 三 <>\n"
      "名無し<><>2008/08/17(日) 15:33:19 ID:a4 <BE:444:4><> 四 <>\n"
      "名無し<><>2008/08/17(日) 15:34:19 ID:a5<> 五 <>\n";
  std::string beBytes;
  common::EncodeFromUtf8(beLog, common::Charset::kCp932, beBytes);
  ASSERT_TRUE(common::ReplaceFileAtomically((work_ / "1199684302.dat").string(), beBytes));
  std::string beMarks = Convert(work_ / "1199684302.dat", "bemarks", "/f=3");

  std::string mailLog =
      "名無し<>sage<>2008/01/07(月) 14:10:06 ID:abc<> 一 <>題\n"
      "名無し<>a%20b%E3%81%82<>2008/01/07(月) 14:11:06 ID:def<> 二 <>\n";
  std::string mailBytes;
  common::EncodeFromUtf8(mailLog, common::Charset::kCp932, mailBytes);
  ASSERT_TRUE(common::ReplaceFileAtomically((work_ / "1199684303.dat").string(), mailBytes));
  std::string mail = Convert(work_ / "1199684303.dat", "mail", "/js=80F");

  // The script as a file in the output root, from the root and one level down.
  // (/a=f files a page under the first four digits of its key.)
  fs::copy_file(kReal / "twoB-2ch/2ch_with_id.dat", work_ / "1199684304.dat");
  std::string externalRoot = Convert(work_ / "1199684304.dat", "external", "/js=00F");
  Convert(work_ / "1199684304.dat", "external", "/js=00F /a=f");
  std::string externalDown = (work_ / "external" / "1199" / "1199684304.html").string();

  // Screenshots land beside the build's program folder, to look at.
  std::string shots = fs::weakly_canonical(fs::path(TEST_PROGRAM_DIR) / "..").string();
  std::string config = "{\"real\":\"" + real + "\",\"world\":\"" + world + "\",\"search\":\"" +
                       search + "\",\"be\":\"" + be + "\",\"synth\":\"" + synth +
                       "\",\"hostile\":\"" + hostile + "\",\"bemarks\":\"" + beMarks +
                       "\",\"mail\":\"" + mail + "\",\"external\":[\"" + externalRoot + "\",\"" +
                       externalDown + "\"],\"shots\":\"" + shots + "\"}";
  std::string configPath = (work_ / "popup.json").string();
  ASSERT_TRUE(common::ReplaceFileAtomically(configPath, config));
  if (!fs::exists(kE2e + "/node_modules/playwright-core")) {
    ASSERT_EQ(RunQuietly("cd " + Quote(kE2e) + " && npm install --no-audit --no-fund --silent"), 0);
  }
  int status =
      std::system(("cd " + Quote(kE2e) + " && node popup_check.js " + Quote(configPath)).c_str());
  EXPECT_EQ(status, 0) << "popup_check.js failed";
}

}  // namespace
