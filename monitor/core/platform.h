// The monitor's view of the outside world. The core reaches everything that
// is not plain computation through these small interfaces, so that the Qt
// window, the headless front and the tests can each supply their own.
#pragma once

#include <ctime>
#include <functional>
#include <string>
#include <string_view>

namespace yagura {

// Runs pending window events once ("DoEvents"): timer ticks, clicks and menu
// commands may run nested inside the call.
class EventPump {
 public:
  virtual ~EventPump() = default;
  virtual void PumpOnce() = 0;
};

class Clock {
 public:
  virtual ~Clock() = default;
  // Seconds since the system started, four decimals; 0 without a counter.
  virtual double UptimeSeconds() = 0;
  // The wall clock, for local time stamps.
  virtual std::time_t Now() = 0;
  // Sleeps the calling (UI) thread; a fake clock advances instead.
  virtual void SleepMilliseconds(int milliseconds) = 0;
};

enum class MessageIcon { kNone, kCritical, kExclamation, kInformation };

class MessageBoxes {
 public:
  virtual ~MessageBoxes() = default;
  virtual void Show(std::string_view text, std::string_view title, MessageIcon icon) = 0;
};

class TrayNotifier {
 public:
  virtual ~TrayNotifier() = default;
  virtual void ShowBalloon(std::string_view title, std::string_view text) = 0;
};

// Where the program keeps its files. Its state (settings, lists, logs, dat/)
// lives in `folder`, named after the executable; what comes with the program
// (shoin/shoin, ReadMe.txt) lies beside the executable, in `programFolder`.
struct ProgramPaths {
  std::string folder;              // ends with "/"
  std::string exeName = "yagura";  // without extension
  std::string programFolder;       // ends with "/"; empty: the same as `folder`
  // Why the state is not beside the executable (for the start-up report);
  // empty when it is.
  std::string stateNote;

  // folder + exeName + suffix, e.g. File(".ini") is ".../yagura.ini".
  std::string File(std::string_view suffix) const;
  std::string DatFolder() const { return folder + "dat/"; }
  std::string ProgramFolder() const { return programFolder.empty() ? folder : programFolder; }
  std::string ConverterPath() const { return ProgramFolder() + "shoin/shoin"; }
  std::string ReadMePath() const { return ProgramFolder() + "ReadMe.txt"; }

  // The folder of the running executable (from /proc/self/exe), state included.
  static ProgramPaths OfRunningExecutable();
  // The paths this run settled on at start-up (SettleProgramPaths);
  // OfRunningExecutable() until then.
  static ProgramPaths ForThisRun();
};

// Why the state folder is where it is.
enum class StateFolderReason { kBesideExecutable, kRequested, kExecutableFolderNotWritable };

struct StateFolderChoice {
  std::string folder;  // ends with "/"
  StateFolderReason reason = StateFolderReason::kBesideExecutable;
};

// The state folder: `requested` (--program-folder) when given; else the
// executable's folder when `writable` says so; else $XDG_DATA_HOME/yagura/
// ($XDG_DATA_HOME only when absolute), else `home`/.local/share/yagura/.
StateFolderChoice ChooseStateFolder(const std::string& executableFolder,
                                    const std::string& requested, const std::string& xdgDataHome,
                                    const std::string& home,
                                    const std::function<bool(const std::string&)>& writable);

// Whether a file can be created in `folder` (tried, so that root on a
// read-only mount and ACLs are answered truly).
bool FolderIsWritable(const std::string& folder);

// Chooses the state folder for this run from the environment, creates it
// and makes it what ProgramPaths::ForThisRun() returns. False with `why`
// when the folder cannot be created.
bool SettleProgramPaths(const std::string& requested, std::string* why);

// The real clock: CLOCK_BOOTTIME and the system's wall clock.
class SystemClock : public Clock {
 public:
  double UptimeSeconds() override;
  std::time_t Now() override;
  void SleepMilliseconds(int milliseconds) override;
};

// Stand-ins that do nothing, for fronts without a window.
class NullPump : public EventPump {
 public:
  void PumpOnce() override {}
};
class NullTray : public TrayNotifier {
 public:
  void ShowBalloon(std::string_view, std::string_view) override {}
};

}  // namespace yagura
