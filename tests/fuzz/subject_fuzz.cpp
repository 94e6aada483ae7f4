// The title search on any thread list: every line parsed or skipped with a
// log line, matches queued, listed threads that are gone handed over once.
#include "common/file_io.h"
#include "monitor/core/initialize_window.h"
#include "monitor/core/run_state.h"
#include "monitor/core/search_titles.h"
#include "monitor/core/thread_lists.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

class NoEvents : public yagura::EventPump {
 public:
  void PumpOnce() override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  NoEvents pump;
  yagura::Monitor monitor;
  monitor.paths.folder = fuzz::ScratchFolder() + "/";
  monitor.paths.exeName = "yagura";
  monitor.pump = &pump;
  yagura::InitializeWindow(monitor);
  yagura::SetRunState(monitor, yagura::RunState::kRunning);
  // Short words match often; the second pair only mails.
  monitor.form.txtWORD1[0].SetText("a");
  monitor.form.txtWORD2[0].SetText("1");
  monitor.form.chkB[0].SetValue(1);
  monitor.form.txtWORD1[1].SetText("b");
  monitor.form.txtWORD2[1].SetText("2");
  monitor.form.chkA[1].SetValue(1);
  // A followed thread that may or may not still be listed.
  monitor.form.listDATDL[0].AddItem("1000000000.dat<5レス>followed a1 (5)");
  int handedOver = 0;
  monitor.processDroppedThread = [&](const std::string&, const std::string&) {
    ++handedOver;
    return true;
  };
  // A fresh log each time: a growing one would slow every run down.
  unlink(monitor.paths.File(".log").c_str());
  const std::string subject = monitor.paths.File("_subject.txt");
  fuzz::WriteFile(subject, bytes);
  FUZZ_CHECK(yagura::SearchTitles(monitor, subject));
  FUZZ_CHECK(handedOver <= 1);
  // Every queued download names a log file inside the dat folder.
  for (const std::string& entry : monitor.form.listDATDL[0].Items()) {
    std::string_view key(entry);
    key = key.substr(0, key.find('<'));
    FUZZ_CHECK(yagura::IsValidDatKey(key));
  }
  return 0;
}
