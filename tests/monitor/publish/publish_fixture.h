// A monitor in a temporary program folder, with a scripted pump, a fixed
// clock and a tray that records balloons, plus helpers that write stand-in
// programs and run the real LZH readers.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "monitor/core/monitor.h"
#include "tests/support/monitor_fakes.h"

namespace yagura_test {

class ScriptedPump : public yagura::EventPump {
 public:
  void PumpOnce() override;
  int calls = 0;
  // Run on a pump call (not nested inside itself).
  std::function<void()> onPump;

 private:
  bool inside_ = false;
};

class FixedClock : public yagura::Clock {
 public:
  double UptimeSeconds() override { return 1000; }
  std::time_t Now() override { return now; }
  void SleepMilliseconds(int) override {}
  std::time_t now = 1700000000;
};

using yagura::testing::RecordingTray;

class PublishFixture : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The program folder (ends with "/") and its dat folder.
  std::string folder_;
  std::string DatPath(const std::string& key) const { return folder_ + "dat/" + key + ".dat"; }
  // Writes a log of `lines` posts (CP932, LF ends) under dat/.
  std::string WriteDat(const std::string& key, int lines, const std::string& title = "スレタイ");
  // Writes an executable shell script and returns its path.
  std::string WriteScript(const std::string& relativePath, const std::string& body) const;
  // Copies the built converter into the program folder; "" when not built.
  std::string InstallConverter() const;

  yagura::Monitor monitor_;
  ScriptedPump pump_;
  FixedClock clock_;
  RecordingTray tray_;
  std::vector<std::string> log_;  // every message, in order
};

// The message as the step logs it: detail prefix + text + "(hh:mm:ss)".
std::string DetailLine(const yagura::Monitor& monitor, const std::string& text);

// Empty when lhasa and 7-Zip both test the archive and extract exactly
// `original` from it under `storedName`; otherwise what went wrong. Readers
// that are not installed are left out.
std::string CheckArchive(const std::string& archive, const std::string& storedName,
                         const std::string& originalPath);

}  // namespace yagura_test
