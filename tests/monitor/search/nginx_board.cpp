#include "nginx_board.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "common/file_io.h"

extern char** environ;

namespace yagura::testing {
namespace {

bool CanConnect(int port) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  if (fd < 0) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(line);
  while (std::getline(in, part, separator)) parts.push_back(part);
  return parts;
}

}  // namespace

int FreeLocalPort() {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

bool SetModificationTime(const std::string& path, long long seconds) {
  utimbuf times{static_cast<time_t>(seconds), static_cast<time_t>(seconds)};
  return ::utime(path.c_str(), &times) == 0;
}

bool NginxBoard::Start(const std::string& workDir, const std::string& root) {
  workDir_ = workDir;
  std::filesystem::create_directories(workDir + "/tmp");
  for (int tries = 0; tries < 5; ++tries) {
    port_ = FreeLocalPort();
    std::ofstream conf(workDir + "/nginx.conf", std::ios::trunc);
    conf << "daemon off; pid nginx.pid; error_log error.log; worker_processes 1;\n"
            "events { worker_connections 64; }\n"
            "http {\n"
            "  log_format probe '$request_method|$request_uri|$status|$http_range|"
            "$http_if_modified_since';\n"
            "  access_log access.log probe;\n"
            "  client_body_temp_path tmp/body; proxy_temp_path tmp/proxy;\n"
            "  fastcgi_temp_path tmp/fastcgi; uwsgi_temp_path tmp/uwsgi; scgi_temp_path tmp/scgi;\n"
            "  server { listen 127.0.0.1:"
         << port_ << "; root " << root << "; }\n}\n";
    conf.close();
    const std::string prefix = workDir + "/";
    const char* argv[] = {"nginx",      "-p", prefix.c_str(), "-c",
                          "nginx.conf", "-e", "error.log",    nullptr};
    pid_t pid = -1;
    if (posix_spawnp(&pid, "nginx", nullptr, nullptr, const_cast<char**>(argv), environ) != 0) {
      return false;
    }
    pid_ = pid;
    for (int wait = 0; wait < 200; ++wait) {
      if (CanConnect(port_)) return true;
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {  // the port was taken: try another
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    Stop();
  }
  return false;
}

void NginxBoard::Stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

std::string NginxBoard::BaseUrl() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::vector<AccessRecord> NginxBoard::Requests() const {
  std::vector<AccessRecord> records;
  std::ifstream in(workDir_ + "/access.log");
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> parts = Split(line, '|');
    if (parts.size() < 5) continue;
    records.push_back({parts[0], parts[1], std::atoi(parts[2].c_str()), parts[3], parts[4]});
  }
  return records;
}

void NginxBoard::ClearRequests() const {
  // nginx appends to its open log: truncating it starts the record afresh.
  ::truncate((workDir_ + "/access.log").c_str(), 0);
}

}  // namespace yagura::testing
