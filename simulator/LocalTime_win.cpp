// Tavix CallerID simulator: the box's local clock.
#include "simulator/LocalTime.h"

std::tm localTime(std::time_t when)
{
    std::tm local{};
    localtime_s(&local, &when);
    return local;
}
