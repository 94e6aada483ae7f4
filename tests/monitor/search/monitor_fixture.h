// A monitor whose program folder is a fresh temporary folder, with a pump
// that tests can script (for instance to press the stop button mid-step).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/monitor.h"
#include "monitor/core/run_state.h"
#include "tests/support/monitor_fakes.h"

namespace yagura::testing {

class ScriptedPump : public EventPump {
 public:
  void PumpOnce() override {
    ++count;
    if (onPump) onPump(count);
  }
  int count = 0;
  std::function<void(int)> onPump;
};

class MonitorFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static std::atomic<int> serial{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("yagura_search_" + std::to_string(::getpid()) + "_" + std::to_string(serial++));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "dat");
    monitor_.paths.folder = dir_.string() + "/";
    monitor_.paths.exeName = "yagura";
    monitor_.pump = &pump_;
    monitor_.tray = &tray_;
    monitor_.form.baseTitle = BaseTitleText();
    SetRunState(monitor_, RunState::kRunning);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  // Writes UTF-8 text as CP932, as a board serves it.
  void WriteCp932(const std::string& path, const std::string& utf8) {
    ASSERT_TRUE(common::ReplaceFileAtomically(path, common::Utf8ToCp932(utf8)));
  }
  // The log pane's text; every message of a step lands there.
  const std::string& Pane() const { return monitor_.form.txtLOG.Text(); }
  int PaneCount(const std::string& needle) const {
    int n = 0;
    for (size_t at = Pane().find(needle); at != std::string::npos;
         at = Pane().find(needle, at + 1)) {
      ++n;
    }
    return n;
  }

  std::filesystem::path dir_;
  ScriptedPump pump_;
  RecordingTray tray_;
  Monitor monitor_;
};

}  // namespace yagura::testing
