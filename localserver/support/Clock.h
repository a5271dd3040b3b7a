#pragma once

#include <chrono>
#include <functional>

// The server's source of the current time; tests inject their own to move through days and past
// expiry limits without waiting.
using Clock = std::function<std::chrono::system_clock::time_point()>;
