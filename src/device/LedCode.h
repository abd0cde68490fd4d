// Tavix CallerID: the LED commands of AD101_SetLED.
#pragma once

#include <cstdint>

// 1 is off; otherwise 2 + colour + 3 * mode, colour red 0, green 1, yellow 2, mode steady 0,
// slow flashing 1, quick flashing 2.
enum LedCode : int32_t {
    LED_OFF = 1,
    LED_RED_ON = 2,
    LED_GREEN_ON = 3,
    LED_YELLOW_ON = 4,
    LED_RED_SLOW = 5,
    LED_GREEN_SLOW = 6,
    LED_YELLOW_SLOW = 7,
    LED_RED_QUICK = 8,
    LED_GREEN_QUICK = 9,
    LED_YELLOW_QUICK = 10,
};
