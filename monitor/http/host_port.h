// A URL's host part ("name", "name:port", "[v6]:port") split into the name to
// connect to and the port.
#pragma once

#include <string>
#include <string_view>

namespace yagura {

struct HostPort {
  std::string name;
  int port = 0;
};

// The port after the last colon when it is all digits and in range,
// `defaultPort` otherwise. Brackets around an IPv6 address are removed.
HostPort SplitHostPort(std::string_view host, int defaultPort);

}  // namespace yagura
