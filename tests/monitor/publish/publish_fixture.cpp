#include "publish_fixture.h"

#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <memory>

#include "common/encoding.h"
#include "common/file_io.h"
#include "monitor/core/message_text.h"
#include "monitor/core/run_state.h"

namespace fs = std::filesystem;

namespace yagura_test {
namespace {

struct CommandResult {
  int exitCode = -1;
  std::string output;
};

CommandResult RunShell(const std::string& command) {
  CommandResult result;
  std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen((command + " 2>&1").c_str(), "r"), pclose);
  if (!pipe) return result;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe.get())) > 0) result.output.append(buffer, n);
  int status = pclose(pipe.release());
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string ShellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

bool HasTool(const std::string& name) { return RunShell("command -v " + name).exitCode == 0; }

}  // namespace

void ScriptedPump::PumpOnce() {
  ++calls;
  if (inside_ || !onPump) return;
  inside_ = true;
  onPump();
  inside_ = false;
}

void PublishFixture::SetUp() {
  const char* tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/publish_test_XXXXXX";
  ASSERT_NE(mkdtemp(pattern.data()), nullptr);
  folder_ = pattern + "/";
  fs::create_directory(folder_ + "dat");
  monitor_.paths.folder = folder_;
  monitor_.pump = &pump_;
  monitor_.clock = &clock_;
  monitor_.tray = &tray_;
  monitor_.form.baseTitle = yagura::BaseTitleText();
  // The processing runs inside a running cycle.
  yagura::SetRunState(monitor_, yagura::RunState::kRunning);
  monitor_.onLogLine = [this](std::string_view message) { log_.emplace_back(message); };
}

void PublishFixture::TearDown() {
  std::error_code ignored;
  if (!folder_.empty()) fs::remove_all(folder_, ignored);
}

std::string PublishFixture::WriteDat(const std::string& key, int lines, const std::string& title) {
  std::string text;
  for (int i = 1; i <= lines; ++i) {
    text += "名無しさん<>sage<>2013/09/19(木) 05:05:23.45 ID:abcdefgh<> 書き込み " +
            std::to_string(i) + " です <>" + (i == 1 ? title : "") + "\n";
  }
  const std::string path = DatPath(key);
  EXPECT_TRUE(common::ReplaceFileAtomically(path, common::Utf8ToCp932(text)));
  return path;
}

std::string PublishFixture::WriteScript(const std::string& relativePath,
                                        const std::string& body) const {
  const std::string path = folder_ + relativePath;
  fs::create_directories(fs::path(path).parent_path());
  EXPECT_TRUE(common::ReplaceFileAtomically(path, "#!/bin/sh\n" + body + "\n", 0755));
  return path;
}

std::string PublishFixture::InstallConverter() const {
  const fs::path built = std::string(TEST_PROGRAM_DIR) + "/shoin/shoin";
  if (!fs::exists(built)) return {};
  const std::string installed = monitor_.paths.ConverterPath();
  fs::create_directories(fs::path(installed).parent_path());
  fs::copy_file(built, installed, fs::copy_options::overwrite_existing);
  return installed;
}

std::string DetailLine(const yagura::Monitor& monitor, const std::string& text) {
  return std::string(yagura::kDetailPrefix) + text + "(" + monitor.Time() + ")";
}

std::string CheckArchive(const std::string& archive, const std::string& storedName,
                         const std::string& originalPath) {
  std::string problems;
  const std::string a = ShellQuote(archive);
  const std::string o = ShellQuote(originalPath);
  if (HasTool("lhasa")) {
    // lhasa separates its lines with CR and exits 0 on some broken archives,
    // so the member's "Tested" line and the extracted bytes are what count.
    CommandResult tested = RunShell("lhasa t " + a);
    if (tested.exitCode != 0 ||
        tested.output.find(storedName + "\t- Tested") == std::string::npos) {
      problems += "lhasa t: " + tested.output + "\n";
    }
    if (RunShell("lhasa pq " + a + " | cmp - " + o).exitCode != 0) {
      problems += "lhasa pq differs\n";
    }
  }
  if (HasTool("7z")) {
    CommandResult tested = RunShell("7z t " + a);
    if (tested.exitCode != 0) problems += "7z t: " + tested.output + "\n";
    if (RunShell("7z e -so " + a + " 2>/dev/null | cmp - " + o).exitCode != 0) {
      problems += "7z e -so differs\n";
    }
  }
  return problems;
}

}  // namespace yagura_test
