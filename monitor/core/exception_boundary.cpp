#include "monitor/core/exception_boundary.h"

#include <cstdio>
#include <exception>
#include <string>

#include "monitor/core/activity_log.h"

namespace yagura {
namespace {

void Report(Monitor& monitor, std::string_view where, std::string_view what) noexcept {
  try {
    WriteDetailLog(monitor, std::string(where) + "で例外が発生しました: " + std::string(what));
  } catch (...) {
    // Even the log failed (out of memory): stderr is all that is left.
    std::fprintf(stderr, "yagura: exception in %.*s\n", static_cast<int>(where.size()),
                 where.data());
  }
}

}  // namespace

bool CallAtBoundary(Monitor& monitor, std::string_view where,
                    const std::function<void()>& handler) noexcept {
  try {
    handler();
    return true;
  } catch (const std::exception& e) {
    Report(monitor, where, e.what());
  } catch (...) {
    Report(monitor, where, "unknown exception");
  }
  return false;
}

}  // namespace yagura
