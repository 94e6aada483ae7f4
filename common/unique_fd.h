// A file descriptor that closes itself, and the read-all / write-all loops
// every byte-exact file access goes through.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace common {

class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int Get() const { return fd_; }
  bool Valid() const { return fd_ >= 0; }
  // Closes now; false when close reported an error (a write that failed late).
  bool Close();
  void Reset() { Close(); }

 private:
  int fd_ = -1;
};

// Writes every byte (a short write or EINTR goes on); false on an error.
bool WriteAll(int fd, std::string_view bytes);
// Reads until the end (`sizeHint` bytes reserved); nothing on an error.
std::optional<std::string> ReadAll(int fd, size_t sizeHint = 0);

}  // namespace common
