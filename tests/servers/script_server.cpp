#include "tests/servers/script_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

namespace yagura::testing {

ScriptStep Send(std::string bytes) { return {ScriptStep::Kind::kSend, std::move(bytes), 0}; }
ScriptStep Pause(int milliseconds) { return {ScriptStep::Kind::kPause, {}, milliseconds}; }
ScriptStep Close() { return {ScriptStep::Kind::kClose, {}, 0}; }
ScriptStep Reset() { return {ScriptStep::Kind::kReset, {}, 0}; }

ScriptServer::ScriptServer(std::vector<ScriptStep> script) : script_(std::move(script)) {
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

ScriptServer::~ScriptServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
}

std::string ScriptServer::Url(std::string_view path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + std::string(path);
}

std::vector<std::string> ScriptServer::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool ScriptServer::Nap(int milliseconds) const {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (std::chrono::steady_clock::now() < end) {
    if (stopping_) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !stopping_;
}

void ScriptServer::Serve() {
  while (!stopping_) {
    pollfd fd{listener_, POLLIN, 0};
    if (poll(&fd, 1, 20) <= 0) continue;
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Play(connection);
  }
}

void ScriptServer::Play(int connection) {
  // The request head, read until its empty line (or two seconds of silence).
  std::string head;
  char block[4096];
  while (head.find("\r\n\r\n") == std::string::npos && !stopping_) {
    pollfd fd{connection, POLLIN, 0};
    if (poll(&fd, 1, 2000) <= 0) break;
    ssize_t n = recv(connection, block, sizeof block, 0);
    if (n <= 0) break;
    head.append(block, static_cast<size_t>(n));
  }
  // A request with a body (a form upload) is read to its last byte, so the
  // test sees every byte sent and the client is never cut off mid-send.
  const size_t headEnd = head.find("\r\n\r\n");
  const size_t lengthAt = head.find("\r\nContent-Length: ");
  if (headEnd != std::string::npos && lengthAt != std::string::npos && lengthAt < headEnd) {
    const size_t expected = headEnd + 4 + std::strtoull(head.c_str() + lengthAt + 18, nullptr, 10);
    while (head.size() < expected && !stopping_) {
      pollfd fd{connection, POLLIN, 0};
      if (poll(&fd, 1, 2000) <= 0) break;
      ssize_t n = recv(connection, block, sizeof block, 0);
      if (n <= 0) break;
      head.append(block, static_cast<size_t>(n));
    }
  }
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(head);
  }
  for (const ScriptStep& step : script_) {
    if (stopping_) break;
    switch (step.kind) {
      case ScriptStep::Kind::kSend:
        send(connection, step.bytes.data(), step.bytes.size(), MSG_NOSIGNAL);
        break;
      case ScriptStep::Kind::kPause:
        Nap(step.milliseconds);
        break;
      case ScriptStep::Kind::kClose:
        shutdown(connection, SHUT_WR);
        break;
      case ScriptStep::Kind::kReset: {
        linger hard{1, 0};
        setsockopt(connection, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
        close(connection);
        connection = -1;
        break;
      }
    }
    if (connection < 0) break;
  }
  if (connection >= 0) {
    shutdown(connection, SHUT_WR);
    // Let the peer read to the end before the socket goes.
    pollfd fd{connection, POLLIN, 0};
    poll(&fd, 1, 200);
    close(connection);
  }
}

}  // namespace yagura::testing
