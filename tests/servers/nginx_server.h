// A private nginx for tests: started on a free port of 127.0.0.1 with a
// configuration of its own in a temporary folder, serving that folder's
// "www" subfolder, and stopped (and its folder removed) when the object goes.
//
//   yagura::testing::NginxServer nginx;
//   ASSERT_TRUE(nginx.Running()) << nginx.ErrorLog();
//   nginx.WriteFile("board/subject.txt", bytes);
//   client.HttpRequest("get", nginx.Url("/board/subject.txt"), ...);
//   auto requests = nginx.Requests(1);  // what the server logged
//
// nginx runs as a direct child of the test process; its workers run as
// `nobody` when the test runs as root, so served files must be readable by
// everyone (WriteFile takes care of that).
#pragma once

#include <sys/types.h>

#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace yagura::testing {

class NginxServer {
 public:
  struct Options {
    // Lines added inside the server block ("location /moved/ { return 302 /x; }").
    std::string serverConfig;
    // Serves TLS with a self-signed certificate made for the occasion.
    bool tls = false;
  };

  // One access-log record, from the log format
  // $request|$status|$http_user_agent|$http_range|$http_if_modified_since
  // ("-" stands for a header that was not sent).
  struct Request {
    std::string requestLine;  // "GET /board/subject.txt HTTP/1.0"
    int status = 0;
    std::string userAgent;
    std::string range;
    std::string ifModifiedSince;
  };

  NginxServer();
  explicit NginxServer(Options options);
  ~NginxServer();
  NginxServer(const NginxServer&) = delete;
  NginxServer& operator=(const NginxServer&) = delete;

  // True when the server came up and answers.
  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  // "http://127.0.0.1:PORT" + path (https with tls).
  std::string Url(std::string_view path = "/") const;
  // The self-signed certificate of a TLS server, to be trusted as an
  // authority by a client under test.
  std::string CertificatePath() const { return folder_ + "/cert.pem"; }
  // The served folder (absolute, without a trailing "/").
  const std::string& Root() const { return root_; }

  // Writes `bytes` to Root()/relativePath (folders created), readable by
  // everyone; with `modified` > 0 the file gets that modification time.
  bool WriteFile(const std::string& relativePath, std::string_view bytes, std::time_t modified = 0);
  // Sets the modification time of a served file.
  bool Touch(const std::string& relativePath, std::time_t modified);

  // The requests logged so far; waits up to `timeoutMilliseconds` until at
  // least `atLeast` are there (nginx logs a request after answering it).
  std::vector<Request> Requests(size_t atLeast = 0, int timeoutMilliseconds = 3000) const;
  std::string ErrorLog() const;

  // Stops the server now (the destructor does it otherwise).
  void Stop();

 private:
  bool StartOnce(const Options& options);

  std::string folder_;
  std::string root_;
  int port_ = 0;
  bool tls_ = false;
  pid_t pid_ = -1;
};

// A port of 127.0.0.1 that was free a moment ago.
int FreeLoopbackPort();
// True when something accepts connections on 127.0.0.1:port.
bool PortAnswers(int port);

}  // namespace yagura::testing
