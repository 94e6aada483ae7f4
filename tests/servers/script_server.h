// A tiny HTTP peer of our own for the faults a real server does not produce:
// a lying Content-Length, a body cut short, a stall, a reset connection,
// headers of any length. It listens on a free port of 127.0.0.1 in a thread
// of the test process, reads each request up to its empty line and then
// plays the same script on every connection; it stops when destroyed.
//
//   ScriptServer server({Send("HTTP/1.1 200 OK\r\n\r\nab"), Pause(5000), Reset()});
//   client.HttpRequest("get", server.Url("/x"), ...);
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace yagura::testing {

struct ScriptStep {
  enum class Kind { kSend, kPause, kClose, kReset };
  Kind kind = Kind::kSend;
  std::string bytes;     // kSend
  int milliseconds = 0;  // kPause
};

ScriptStep Send(std::string bytes);
ScriptStep Pause(int milliseconds);
ScriptStep Close();  // an orderly close (also what happens after the last step)
ScriptStep Reset();  // closes with a TCP reset (SO_LINGER 0)

class ScriptServer {
 public:
  explicit ScriptServer(std::vector<ScriptStep> script);
  ~ScriptServer();
  ScriptServer(const ScriptServer&) = delete;
  ScriptServer& operator=(const ScriptServer&) = delete;

  bool Running() const { return listener_ >= 0; }
  int Port() const { return port_; }
  std::string Url(std::string_view path = "/") const;
  // The request of every connection so far, in order: its head, and its
  // body when the head gives a Content-Length.
  std::vector<std::string> Requests() const;

 private:
  void Serve();
  void Play(int connection);
  // Sleeps up to `milliseconds`; false when the server is stopping.
  bool Nap(int milliseconds) const;

  std::vector<ScriptStep> script_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace yagura::testing
