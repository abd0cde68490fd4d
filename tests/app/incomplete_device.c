/* Tavix CallerID tests: device libraries that lack entries. Built as is, only the first entry is
 * there; with TAVIX_ALL_BUT_GET_CALLER_ID, every entry but AD101_GetCallerID. AD101_InitDevice
 * writes to the file named by TAVIX_TEST_INIT_MARKER, so a test sees whether the device was
 * opened. */
#include "device/ad101_api.h"

#include <stdio.h>
#include <stdlib.h>

int32_t AD101_CALL AD101_InitDevice(AD101WindowHandle hWnd)
{
    const char* marker = getenv("TAVIX_TEST_INIT_MARKER");
    FILE* file = marker ? fopen(marker, "w") : NULL;
    (void)hWnd;
    if (file)
        fclose(file);
    return 1;
}

#ifdef TAVIX_ALL_BUT_GET_CALLER_ID
/* Every entry of the table answers 1, under its own name except these two: the one above, and
 * the one this library lacks, which the loader must not find. */
#define AD101_InitDevice made_above_AD101_InitDevice
#define AD101_GetCallerID missing_AD101_GetCallerID
#pragma GCC diagnostic ignored "-Wunused-parameter"
#define TAVIX_ANSWER_ONE(name, parameters, arguments)                                              \
    int32_t AD101_CALL name parameters                                                             \
    {                                                                                              \
        return 1;                                                                                  \
    }
AD101_ENTRIES(TAVIX_ANSWER_ONE)
#endif
