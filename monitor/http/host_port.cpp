#include "monitor/http/host_port.h"

namespace yagura {

HostPort SplitHostPort(std::string_view host, int defaultPort) {
  HostPort result{std::string(host), defaultPort};
  size_t colon = host.rfind(':');
  size_t bracket = host.rfind(']');
  if (colon != std::string_view::npos && (bracket == std::string_view::npos || bracket < colon)) {
    std::string_view digits = host.substr(colon + 1);
    bool numeric = !digits.empty() && digits.size() <= 5;
    int port = 0;
    for (char c : digits) {
      if (c < '0' || c > '9') {
        numeric = false;
        break;
      }
      port = port * 10 + (c - '0');
    }
    if (numeric && port > 0 && port <= 65535) {
      result.name = std::string(host.substr(0, colon));
      result.port = port;
    }
  }
  if (result.name.size() >= 2 && result.name.front() == '[' && result.name.back() == ']') {
    result.name = result.name.substr(1, result.name.size() - 2);
  }
  return result;
}

}  // namespace yagura
