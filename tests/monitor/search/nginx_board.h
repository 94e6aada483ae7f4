// A private nginx serving a folder on 127.0.0.1 at a free port, with an
// access log that records what the client sent (method, path, status, Range,
// If-Modified-Since). Stopped by the destructor.
#pragma once

#include <string>
#include <vector>

namespace yagura::testing {

struct AccessRecord {
  std::string method;
  std::string uri;
  int status = 0;
  std::string range;            // "-" when none was sent
  std::string ifModifiedSince;  // "-" when none was sent
};

class NginxBoard {
 public:
  NginxBoard() = default;
  NginxBoard(const NginxBoard&) = delete;
  NginxBoard& operator=(const NginxBoard&) = delete;
  ~NginxBoard() { Stop(); }

  // Serves `root` from a server folder `workDir` (config, logs, pid).
  // False when nginx did not come up.
  bool Start(const std::string& workDir, const std::string& root);
  void Stop();

  int Port() const { return port_; }
  // "http://127.0.0.1:port/".
  std::string BaseUrl() const;

  // The requests logged since the last ClearRequests().
  std::vector<AccessRecord> Requests() const;
  void ClearRequests() const;

 private:
  std::string workDir_;
  int port_ = 0;
  int pid_ = -1;
};

// A port on 127.0.0.1 that was free a moment ago.
int FreeLocalPort();

// Sets a file's modification time (seconds since the epoch): nginx compares
// If-Modified-Since to the second, so every change needs a later time.
bool SetModificationTime(const std::string& path, long long seconds);

}  // namespace yagura::testing
