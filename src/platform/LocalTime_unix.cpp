// Tavix CallerID: the local wall-clock time.
#include "platform/LocalTime.h"

std::tm localTime(std::time_t when)
{
    std::tm local{};
    localtime_r(&when, &local);
    return local;
}
