#include "tests/servers/mail_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

extern char** environ;

namespace yagura::testing {
namespace {

// The default AUTH rule: a LOGIN or PLAIN dialogue that takes any password.
constexpr const char* kAuthDialogue = "(auth dialogue)";

namespace fs = std::filesystem;
using SteadyClock = std::chrono::steady_clock;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Starts the script with a pipe on stdin and one on stdout; returns the pid.
// stderr goes to `stderrPath` when given (a server's own complaints, such as
// aiosmtpd's trace of a refused TLS handshake, stay out of the test output).
pid_t Spawn(const std::vector<std::string>& arguments, int& stdinWrite, int& stdoutRead,
            const std::string& stderrPath = "") {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return -1;
  if (pipe2(out, O_CLOEXEC) != 0) {
    close(in[0]);
    close(in[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  if (!stderrPath.empty()) {
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
  }
  std::vector<char*> argv;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  stdinWrite = in[1];
  stdoutRead = out[0];
  return pid;
}

// The first line of the child's stdout, within `milliseconds`.
std::string ReadLine(int fd, int milliseconds) {
  std::string line;
  const auto end = SteadyClock::now() + std::chrono::milliseconds(milliseconds);
  while (line.find('\n') == std::string::npos && SteadyClock::now() < end) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 50) <= 0) continue;
    char block[256];
    ssize_t n = read(fd, block, sizeof block);
    if (n <= 0) break;
    line.append(block, static_cast<size_t>(n));
  }
  return line.substr(0, line.find('\n'));
}

bool WaitFor(pid_t pid, int milliseconds) {
  const auto end = SteadyClock::now() + std::chrono::milliseconds(milliseconds);
  while (SteadyClock::now() < end) {
    int status;
    if (waitpid(pid, &status, WNOHANG) == pid) return true;
    usleep(10000);
  }
  return false;
}

}  // namespace

std::string MailServersScript() { return MAIL_SERVERS_SCRIPT; }

MailServer::MailServer(Kind kind, Options options) {
  char pattern[] = "/tmp/yagura_mail_server_XXXXXX";
  if (!mkdtemp(pattern)) {
    startError_ = "no temporary folder";
    return;
  }
  folder_ = pattern;
  // Dovecot's auth process runs as its own user and must reach the users file.
  chmod(pattern, 0755);
  std::vector<std::string> arguments = {"/usr/bin/python3",
                                        MailServersScript(),
                                        kind == Kind::kSmtp ? "smtp" : "pop3",
                                        "--dir",
                                        folder_ + "/server",
                                        "--user",
                                        options.user,
                                        "--password",
                                        options.password};
  if (options.authRequired) arguments.push_back("--auth-required");
  if (options.noApop) arguments.push_back("--no-apop");
  if (!options.tlsCert.empty()) {
    arguments.insert(arguments.end(), {"--tls-cert", options.tlsCert, "--tls-key", options.tlsKey});
  }
  int stdoutFd = -1;
  pid_ = Spawn(arguments, stdinFd_, stdoutFd, folder_ + "/stderr.log");
  if (pid_ < 0) {
    startError_ = "cannot start " + MailServersScript();
    return;
  }
  const std::string line = ReadLine(stdoutFd, 15000);
  close(stdoutFd);
  if (line.rfind("READY ", 0) == 0) {
    port_ = std::atoi(line.c_str() + 6);
  } else {
    startError_ = "the server did not come up: " + line + ReadText(folder_ + "/stderr.log") +
                  ReadText(folder_ + "/server/dovecot.log");
    Stop();
  }
}

MailServer::~MailServer() {
  Stop();
  if (!folder_.empty()) {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }
}

void MailServer::Stop() {
  if (stdinFd_ >= 0) {
    close(stdinFd_);
    stdinFd_ = -1;
  }
  if (pid_ > 0) {
    if (!WaitFor(pid_, 15000)) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }
}

std::vector<std::string> MailServer::ReceivedMails() const {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(folder_ + "/server", error)) {
    if (entry.path().extension() == ".eml") names.push_back(entry.path().string());
  }
  std::sort(names.begin(), names.end());
  std::vector<std::string> mails;
  for (const std::string& name : names) mails.push_back(ReadText(name));
  return mails;
}

std::vector<std::string> MailServer::Events() const {
  std::vector<std::string> events;
  std::istringstream in(ReadText(folder_ + "/server/sessions.log"));
  for (std::string line; std::getline(in, line);) events.push_back(line);
  return events;
}

bool MakeTestCertificates(const std::string& folder) {
  int in = -1, out = -1;
  pid_t pid = Spawn({"/usr/bin/python3", MailServersScript(), "ca", "--dir", folder}, in, out);
  if (pid < 0) return false;
  close(in);
  const std::string line = ReadLine(out, 30000);
  close(out);
  waitpid(pid, nullptr, 0);
  return line.rfind("READY", 0) == 0;
}

// The scripted SMTP peer.

SmtpScriptServer::SmtpScriptServer(std::vector<Rule> rules, std::string greeting)
    : rules_(std::move(rules)), greeting_(std::move(greeting)) {
  rules_.push_back({"EHLO", "250-script\r\n250 AUTH LOGIN PLAIN"});
  rules_.push_back({"HELO", "250 script"});
  rules_.push_back({"AUTH", kAuthDialogue});
  rules_.push_back({"MAIL", "250 OK"});
  rules_.push_back({"RCPT", "250 OK"});
  rules_.push_back({"DATA", "354 End data with <CR><LF>.<CR><LF>"});
  rules_.push_back({".", "250 OK queued"});
  rules_.push_back({"QUIT", "221 Bye"});
  rules_.push_back({"", "500 unknown command"});
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(fd, 8) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return;
  }
  listener_ = fd;
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { Serve(); });
}

SmtpScriptServer::~SmtpScriptServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

std::vector<std::string> SmtpScriptServer::Lines() const {
  std::lock_guard lock(mutex_);
  return lines_;
}

void SmtpScriptServer::Serve() {
  while (!stopping_) {
    pollfd fd{listener_, POLLIN, 0};
    if (poll(&fd, 1, 20) <= 0) continue;
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    ++connections_;
    Play(connection);
  }
}

void SmtpScriptServer::Play(int connection) {
  auto say = [&](const std::string& text) {
    const std::string line = text + "\r\n";
    send(connection, line.data(), line.size(), MSG_NOSIGNAL);
  };
  // Finds the rule for a line and acts on it; false ends the session.
  std::string lastReply;
  int authLinesDue = 0;  // lines of an AUTH dialogue still to come
  auto answer = [&](const std::string& line) {
    std::string upper = line;
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (const Rule& rule : rules_) {
      if (upper.rfind(rule.command, 0) != 0) continue;
      if (rule.reset) {
        linger hard{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        return false;
      }
      if (rule.stall) {
        while (!stopping_) usleep(10000);
        return false;
      }
      if (rule.reply == kAuthDialogue) {
        // "AUTH LOGIN [user]" wants the user and the password; "AUTH PLAIN"
        // without its initial response wants that first.
        std::istringstream words(upper);
        std::string verb, mechanism, initial;
        words >> verb >> mechanism >> initial;
        authLinesDue = mechanism == "LOGIN" ? (initial.empty() ? 2 : 1) : (initial.empty() ? 1 : 0);
        const std::string reply = authLinesDue == 0 ? "235 2.7.0 Authentication successful"
                                  : mechanism == "LOGIN" && initial.empty() ? "334 VXNlcm5hbWU6"
                                  : mechanism == "LOGIN"                    ? "334 UGFzc3dvcmQ6"
                                                                            : "334 ";
        say(reply);
        lastReply = reply;
        return true;
      }
      say(rule.reply);
      lastReply = rule.reply;
      return !(rule.reply.rfind("221", 0) == 0 || rule.reply.rfind("421", 0) == 0);
    }
    return false;
  };
  std::string buffer;
  bool inData = false;
  bool open = true;
  say(greeting_);
  while (open && !stopping_) {
    pollfd fd{connection, POLLIN, 0};
    if (poll(&fd, 1, 50) <= 0) continue;
    char block[4096];
    ssize_t n = recv(connection, block, sizeof block, 0);
    if (n <= 0) break;
    buffer.append(block, static_cast<size_t>(n));
    for (size_t end; open && (end = buffer.find("\r\n")) != std::string::npos;) {
      std::string line = buffer.substr(0, end);
      buffer.erase(0, end + 2);
      if (inData) {
        if (line != ".") continue;
        inData = false;
      }
      if (authLinesDue > 0) {
        --authLinesDue;
        say(authLinesDue == 0 ? "235 2.7.0 Authentication successful" : "334 UGFzc3dvcmQ6");
        continue;
      }
      {
        std::lock_guard lock(mutex_);
        lines_.push_back(line);
      }
      open = answer(line);
      if (open && lastReply.rfind("354", 0) == 0) inData = true;
    }
  }
  close(connection);
}

}  // namespace yagura::testing
