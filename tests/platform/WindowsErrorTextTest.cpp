// Tavix CallerID tests: Windows error codes in words, the number once.
#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <winhttp.h>

#include <gtest/gtest.h>

TEST(WindowsErrorText, TellsWhatHappenedWithTheNumberOnce)
{
    struct Case
    {
        unsigned long code;
        const char* text;
    };
    const Case cases[] = {
        {ERROR_WINHTTP_NAME_NOT_RESOLVED, "the server's name was not found (error 12007)"},
        {ERROR_WINHTTP_CANNOT_CONNECT, "nothing answered at the server's address and port "
                                       "(error 12029)"},
        {ERROR_WINHTTP_SECURE_CERT_CN_INVALID,
         "the server's certificate is for another name (error 12038)"},
        {ERROR_DISK_FULL, "the disk is full (error 112)"},
        {ERROR_SHARING_VIOLATION, "another program has the file open (error 32)"},
    };
    const HMODULE winhttp = LoadLibraryW(L"winhttp.dll");
    for (const Case& c : cases) {
        EXPECT_EQ(windowsErrorText(c.code), c.text);
        EXPECT_EQ(windowsErrorText(c.code, winhttp), c.text);
    }
    // A code nobody has words for is its number alone.
    EXPECT_EQ(windowsErrorText(0x2FFFFFFF), "error 805306367");
}
