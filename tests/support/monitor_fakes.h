// Stand-ins for the monitor's outside world that many tests share: a clock
// the test moves, message boxes and a tray that record what they were
// given, and a temporary program folder that removes itself.
#pragma once

#include <stdlib.h>

#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "monitor/core/platform.h"

namespace yagura::testing {

class FakeClock : public Clock {
 public:
  double uptime = 1000;
  std::time_t now = 1262401445;  // 2010-01-02 03:04:05 UTC
  double UptimeSeconds() override { return uptime; }
  std::time_t Now() override { return now; }
  void SleepMilliseconds(int ms) override {
    uptime += ms / 1000.0;
    now += ms / 1000;
  }
};

class RecordedBoxes : public MessageBoxes {
 public:
  struct Box {
    std::string text, title;
    MessageIcon icon;
  };
  std::vector<Box> shown;
  void Show(std::string_view text, std::string_view title, MessageIcon icon) override {
    shown.push_back({std::string(text), std::string(title), icon});
  }
};

// Balloons as "title|text".
class RecordingTray : public TrayNotifier {
 public:
  void ShowBalloon(std::string_view title, std::string_view text) override {
    balloons.push_back(std::string(title) + "|" + std::string(text));
  }
  std::vector<std::string> balloons;
};

// A fresh folder under TMPDIR (else /tmp), removed with everything in it.
class TempFolder {
 public:
  explicit TempFolder(std::string_view prefix = "yagura_test") {
    const char* tmp = getenv("TMPDIR");
    std::string pattern =
        std::string(tmp && *tmp ? tmp : "/tmp") + "/" + std::string(prefix) + "_XXXXXX";
    if (mkdtemp(pattern.data())) path_ = pattern + "/";
  }
  ~TempFolder() {
    if (path_.empty()) return;
    std::error_code ignored;
    // A test may have taken the write permission away.
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Ends with "/"; empty when the folder could not be made.
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace yagura::testing
