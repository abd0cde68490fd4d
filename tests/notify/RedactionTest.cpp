// Tavix CallerID tests: what never reaches the log from the web application's replies and errors.
#include "notify/Redaction.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const std::string kPath = "/includes/content/caller_id/connector.php";

TEST(Redaction, RemovesThePasswordInEveryFormAPageQuotesIt)
{
    const std::string password = "Pw&=#+ %41\xC3\xA9Zq9";
    struct Case
    {
        std::string text, expected;
    };
    const Case cases[] = {
        {"as saved: Pw&=#+ %41\xC3\xA9Zq9.", "as saved: [password]."},
        {"password=Pw%26%3D%23%2B%20%2541%C3%A9Zq9&", "password=[password]&"},
        {"password=Pw%26%3d%23%2b%20%2541%c3%a9Zq9&", "password=[password]&"},
        {"form: Pw%26%3D%23%2B+%2541%C3%A9Zq9", "form: [password]"},
        {"mixed: Pw&%3D#%2B %41%c3%a9Zq9", "mixed: [password]"},
        {"twice Pw&=#+ %41\xC3\xA9Zq9Pw&=#+ %41\xC3\xA9Zq9", "twice [password][password]"},
        {"near misses: Pw&=#+ %41\xC3\xA9Zq8 pw&=#+ %41\xC3\xA9Zq9",
         "near misses: Pw&=#+ %41\xC3\xA9Zq8 pw&=#+ %41\xC3\xA9Zq9"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Redaction::withoutSecrets(c.text, password, kPath), c.expected) << c.text;
    EXPECT_EQ(Redaction::withoutSecrets("no password set", "", kPath), "no password set");
}

TEST(Redaction, CutsEveryUrlOfTheConnectorPageToItsPath)
{
    struct Case
    {
        std::string text, expected;
    };
    const Case cases[] = {
        {"GET " + kPath + "?action=newcall&user=Till%201&caller=1 HTTP/1.1",
         "GET " + kPath + " HTTP/1.1"},
        {"<a href=\"https://pos.example:8443" + kPath + "?user=x#top\">",
         "<a href=\"" + kPath + "\">"},
        {"at https://[::1]" + kPath + "?q and at https://h" + kPath,
         "at " + kPath + " and at " + kPath},
        {"the page " + kPath + " is missing", "the page " + kPath + " is missing"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Redaction::withoutSecrets(c.text, "secret", kPath), c.expected) << c.text;
}

} // namespace
