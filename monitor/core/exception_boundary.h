// Where the event loop calls the monitor (a tick, a click, a menu command),
// an exception from a library (std::bad_alloc, a filesystem error) stops:
// it becomes one log line and the program goes on. It must never unwind
// through Qt's event loop, which cannot carry it.
#pragma once

#include <functional>
#include <string_view>

#include "monitor/core/monitor.h"

namespace yagura {

// Runs `handler`; an exception it throws is logged as
// "<where>で例外が発生しました: <what>" and swallowed. False when one was caught.
bool CallAtBoundary(Monitor& monitor, std::string_view where,
                    const std::function<void()>& handler) noexcept;

}  // namespace yagura
