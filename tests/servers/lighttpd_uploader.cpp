#include "tests/servers/lighttpd_uploader.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "tests/servers/nginx_server.h"
#include "tests/servers/server_process.h"

extern char** environ;

namespace yagura::testing {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

LighttpdUploader::LighttpdUploader(Options options) {
  char pattern[] = "/tmp/yagura_uploader_XXXXXX";
  if (!mkdtemp(pattern)) return;
  folder_ = pattern;
  tls_ = options.tls != Tls::kNone;
  // A port found free may be taken before lighttpd binds it: try a few.
  for (int attempt = 0; attempt < 5 && pid_ <= 0; ++attempt) {
    port_ = FreeLoopbackPort();
    std::vector<std::string> arguments = {"bash",  UPLOADER_SERVER_SCRIPT,
                                          folder_, std::to_string(port_),
                                          "--max", std::to_string(options.maxBytes)};
    if (!options.key.empty()) {
      arguments.push_back("--key");
      arguments.push_back(options.key);
    }
    if (options.tls == Tls::kTestCa) arguments.push_back("--tls");
    if (options.tls == Tls::kSelfSigned) arguments.push_back("--tls-self-signed");
    std::vector<char*> argv;
    for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const std::string output = folder_ + "/stderr.txt";
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, output.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    pid_t pid = -1;
    int spawned = posix_spawnp(&pid, "bash", &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return;
    // The script makes certificates first; lighttpd itself is up in ~15 ms.
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      if (waitpid(pid, nullptr, WNOHANG) == pid) break;  // it gave up (port taken?)
      if (PortAnswers(port_)) {
        pid_ = pid;
        break;
      }
      std::this_thread::sleep_for(5ms);
    }
    if (pid_ <= 0 && waitpid(pid, nullptr, WNOHANG) == 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
}

LighttpdUploader::~LighttpdUploader() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

void LighttpdUploader::Stop() {
  StopServerProcess(pid_);
  pid_ = -1;
}

std::string LighttpdUploader::Url() const {
  return std::string(tls_ ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + "/up.cgi";
}

std::map<std::string, std::string> LighttpdUploader::StoredFiles() const {
  std::map<std::string, std::string> files;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_ + "/store", error)) {
    files[entry.path().filename().string()] = ReadBytes(entry.path().string());
  }
  return files;
}

std::string LighttpdUploader::UploadLog() const { return ReadBytes(folder_ + "/uploads.log"); }

std::string LighttpdUploader::ErrorLog() const {
  return ReadBytes(folder_ + "/error.log") + ReadBytes(folder_ + "/stderr.txt");
}

}  // namespace yagura::testing
