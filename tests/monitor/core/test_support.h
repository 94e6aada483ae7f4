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
#include "tests/support/monitor_fakes.h"

namespace yagura::testing {

class ScriptedPump : public EventPump {
 public:
  std::function<void()> onPump;
  int count = 0;
  void PumpOnce() override {
    ++count;
    if (onPump) onPump();
  }
};

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    folder = temp.Path();
    ASSERT_FALSE(folder.empty());
    m.paths.folder = folder;
    m.paths.exeName = "yagura";
    m.pump = &pump;
    m.clock = &clock;
    m.messageBoxes = &boxes;
    m.form.baseTitle = "Yagura Version 0.3.86";
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

  TempFolder temp;
  std::string folder;
  FakeClock clock;
  ScriptedPump pump;
  RecordedBoxes boxes;
  Monitor m;
};

}  // namespace yagura::testing
