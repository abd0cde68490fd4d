// Tavix CallerID simulator: the box's local clock.
#pragma once

#include <ctime>

// The local calendar time of `when`. Thread-safe.
std::tm localTime(std::time_t when);
