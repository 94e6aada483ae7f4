// A monitor in a temporary program folder, with a clock the test moves, a
// pump the test scripts and message boxes it records.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/monitor.h"

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

class ScriptedPump : public EventPump {
 public:
  std::function<void()> onPump;
  int count = 0;
  void PumpOnce() override {
    ++count;
    if (onPump) onPump();
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

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    char pattern[] = "/tmp/yagura_test_XXXXXX";
    folder = mkdtemp(pattern);
    folder += "/";
    m.paths.folder = folder;
    m.paths.exeName = "yagura";
    m.pump = &pump;
    m.clock = &clock;
    m.messageBoxes = &boxes;
    m.form.baseTitle = "Yagura Version 0.3.86";
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::permissions(folder, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(folder, ignored);
  }
  std::string Path(const std::string& suffix) const { return m.paths.File(suffix); }
  // A state file's text, decoded from CP932.
  std::string ReadText(const std::string& suffix) const {
    auto bytes = common::ReadWholeFile(Path(suffix));
    return bytes ? common::Cp932ToUtf8(*bytes) : std::string("<missing>");
  }
  void WriteText(const std::string& suffix, const std::string& utf8) const {
    ASSERT_TRUE(common::ReplaceFileAtomically(Path(suffix), common::Utf8ToCp932(utf8)));
  }

  std::string folder;
  FakeClock clock;
  ScriptedPump pump;
  RecordedBoxes boxes;
  Monitor m;
};

}  // namespace yagura::testing
