// Tavix CallerID: the local wall-clock time, for the log's stamps and the box's caller times.
#pragma once

#include <ctime>

// The local calendar time of `when`. Thread-safe.
std::tm localTime(std::time_t when);
