// The uploader CGI (uploader/up.cgi, Perl with CGI.pm) under a private
// lighttpd on a free port of 127.0.0.1, started by uploader/uploader_server.sh
// in a temporary folder and stopped (folder removed) when the object goes.
//
//   LighttpdUploader uploader(options);  // options.key = "sekret"
//   ASSERT_TRUE(uploader.Running()) << uploader.ErrorLog();
//   ... post to uploader.Url() ...
//   auto files = uploader.StoredFiles();  // name -> bytes
#pragma once

#include <sys/types.h>

#include <map>
#include <string>

namespace yagura::testing {

class LighttpdUploader {
 public:
  enum class Tls { kNone, kTestCa, kSelfSigned };
  struct Options {
    std::string key;               // the upload key it asks for ("" for none)
    long long maxBytes = 4 << 20;  // the largest file it takes
    Tls tls = Tls::kNone;
  };

  LighttpdUploader() : LighttpdUploader(Options{}) {}
  explicit LighttpdUploader(Options options);
  ~LighttpdUploader();
  LighttpdUploader(const LighttpdUploader&) = delete;
  LighttpdUploader& operator=(const LighttpdUploader&) = delete;

  bool Running() const { return pid_ > 0; }
  int Port() const { return port_; }
  // "http://127.0.0.1:PORT/up.cgi" (https with TLS).
  std::string Url() const;
  // The test CA's certificate (Tls::kTestCa), for the client to trust.
  std::string CaFile() const { return folder_ + "/tls/ca.pem"; }
  // The files stored so far, by their stored names ("up0001.lzh").
  std::map<std::string, std::string> StoredFiles() const;
  // What the CGI parsed from every request so far: the fields ("field
  // name=value"), the file ("file upfile=NAME size=N sha256=HEX") and where
  // it went ("stored upNNNN.ext"), each request closed by a line "--".
  std::string UploadLog() const;
  std::string ErrorLog() const;
  void Stop();

 private:
  std::string folder_;
  int port_ = 0;
  bool tls_ = false;
  pid_t pid_ = -1;
};

}  // namespace yagura::testing
