#include "tests/servers/nginx_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "tests/servers/server_process.h"

extern char** environ;

namespace yagura::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

bool WriteText(const std::string& path, std::string_view text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(text.data(), static_cast<std::streamsize>(text.size()));
  return static_cast<bool>(out);
}

// Runs a program to its end with its output thrown away; true on exit code 0.
bool RunQuietly(const std::vector<std::string>& arguments) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid;
  int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

std::vector<std::string> SplitFields(const std::string& line) {
  std::vector<std::string> fields;
  size_t start = 0;
  while (true) {
    size_t bar = line.find('|', start);
    fields.push_back(
        line.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  return fields;
}

}  // namespace

int FreeLoopbackPort() {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  socklen_t length = sizeof address;
  int port = 0;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
    port = ntohs(address.sin_port);
  }
  close(fd);
  return port;
}

bool PortAnswers(int port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  bool answered = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return answered;
}

NginxServer::NginxServer() : NginxServer(Options{}) {}

NginxServer::NginxServer(Options options) {
  char pattern[] = "/tmp/yagura_nginx_XXXXXX";
  if (!mkdtemp(pattern)) return;
  folder_ = pattern;
  root_ = folder_ + "/www";
  // The workers (user nobody) must reach the served files.
  chmod(folder_.c_str(), 0755);
  std::error_code ignored;
  for (const char* sub : {"/www", "/tmp"}) fs::create_directories(folder_ + sub, ignored);
  chmod(root_.c_str(), 0755);
  tls_ = options.tls;
  if (tls_ && !RunQuietly({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1",
                           "-subj", "/CN=127.0.0.1", "-addext", "subjectAltName=IP:127.0.0.1",
                           "-keyout", folder_ + "/key.pem", "-out", folder_ + "/cert.pem"})) {
    return;
  }
  // A port found free may be taken before nginx binds it: try a few.
  for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) StartOnce(options);
}

bool NginxServer::StartOnce(const Options& options) {
  port_ = FreeLoopbackPort();
  if (port_ == 0) return false;
  std::string listen = "listen 127.0.0.1:" + std::to_string(port_);
  std::string tlsLines;
  if (tls_) {
    listen += " ssl";
    tlsLines = "    ssl_certificate cert.pem; ssl_certificate_key key.pem;\n";
  }
  const std::string config =
      "daemon off; pid nginx.pid; error_log error.log;\n"
      "events { worker_connections 64; }\n"
      "http {\n"
      "  log_format probe "
      "'$request|$status|$http_user_agent|$http_range|$http_if_modified_since';\n"
      "  access_log access.log probe;\n"
      "  client_body_temp_path tmp/body; proxy_temp_path tmp/proxy;\n"
      "  fastcgi_temp_path tmp/fastcgi; uwsgi_temp_path tmp/uwsgi; scgi_temp_path tmp/scgi;\n"
      "  server {\n    " +
      listen + ";\n    root www;\n" + tlsLines + options.serverConfig + "\n  }\n}\n";
  if (!WriteText(folder_ + "/nginx.conf", config)) return false;
  WriteText(folder_ + "/access.log", "");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  const std::string output = folder_ + "/stderr.txt";
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                   0644);
  const std::string prefix = folder_ + "/";
  std::vector<std::string> arguments = {"nginx",      "-p", prefix,     "-c",
                                        "nginx.conf", "-e", "error.log"};
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  const char* program = access("/usr/sbin/nginx", X_OK) == 0 ? "/usr/sbin/nginx" : "nginx";
  int spawned = posix_spawnp(&pid, program, &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return false;

  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == pid) return false;  // it gave up (port taken?)
    if (PortAnswers(port_)) {
      pid_ = pid;
      return true;
    }
    std::this_thread::sleep_for(5ms);
  }
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  return false;
}

NginxServer::~NginxServer() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

void NginxServer::Stop() {
  StopServerProcess(pid_);
  pid_ = -1;
}

std::string NginxServer::Url(std::string_view path) const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         std::string(path);
}

bool NginxServer::WriteFile(const std::string& relativePath, std::string_view bytes,
                            std::time_t modified) {
  const fs::path target = fs::path(root_) / relativePath;
  std::error_code error;
  fs::create_directories(target.parent_path(), error);
  for (fs::path p = target.parent_path(); p.string().size() > root_.size(); p = p.parent_path()) {
    chmod(p.c_str(), 0755);
  }
  if (!WriteText(target.string(), bytes)) return false;
  chmod(target.c_str(), 0644);
  return modified <= 0 || Touch(relativePath, modified);
}

bool NginxServer::Touch(const std::string& relativePath, std::time_t modified) {
  const std::string target = root_ + "/" + relativePath;
  timespec times[2] = {{modified, 0}, {modified, 0}};
  return utimensat(AT_FDCWD, target.c_str(), times, 0) == 0;
}

std::vector<NginxServer::Request> NginxServer::Requests(size_t atLeast,
                                                        int timeoutMilliseconds) const {
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMilliseconds);
  while (true) {
    std::vector<Request> requests;
    std::istringstream lines(ReadText(folder_ + "/access.log"));
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> f = SplitFields(line);
      if (f.size() < 5) continue;
      requests.push_back({f[0], std::atoi(f[1].c_str()), f[2], f[3], f[4]});
    }
    if (requests.size() >= atLeast || std::chrono::steady_clock::now() >= deadline) {
      return requests;
    }
    std::this_thread::sleep_for(5ms);
  }
}

std::string NginxServer::ErrorLog() const {
  return ReadText(folder_ + "/error.log") + ReadText(folder_ + "/stderr.txt");
}

}  // namespace yagura::testing
