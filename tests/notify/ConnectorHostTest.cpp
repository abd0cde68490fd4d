// Tavix CallerID tests: the web application's host setting, held to the shape of a host.
#include "notify/ConnectorHost.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(ConnectorHost, AcceptsAHostOrAnAddressWithAnOptionalPort)
{
    const std::vector<std::pair<QString, std::string>> cases = {
        {"pos.myshop.example", "https://pos.myshop.example/p?q=1"},
        {"pos.myshop.example:8443", "https://pos.myshop.example:8443/p?q=1"},
        {"127.0.0.1:1", "https://127.0.0.1:1/p?q=1"},
        {"localhost:65535", "https://localhost:65535/p?q=1"},
        {"[::1]", "https://[::1]/p?q=1"},
        {"[2001:db8::7]:8447", "https://[2001:db8::7]:8447/p?q=1"},
        {"Shop-1.Example", "https://shop-1.example/p?q=1"},
    };
    for (const auto& [setting, url] : cases) {
        EXPECT_EQ(ConnectorHost::problem(setting), QString()) << setting.toStdString();
        EXPECT_EQ(ConnectorHost(setting)
                      .url(QStringLiteral("/p"), QStringLiteral("q=1"))
                      .toString(QUrl::FullyEncoded)
                      .toStdString(),
                  url);
    }
}

TEST(ConnectorHost, RefusesAnythingElseSayingWhatIsWrong)
{
    const std::vector<std::pair<QString, QString>> cases = {
        {"", "it is empty"},
        {"127.0.0.1:8447/path?x=", "it holds a path (/)"},
        {"host#", "it holds a fragment (#)"},
        {"host?x", "it holds a query (?)"},
        {"user@host", "it holds user information (@)"},
        {"https://host", "it holds a scheme (such as https://): give the host alone"},
        {"my shop", "it holds a blank"},
        {"host\x1b[2K", "it holds a control character"},
        {"host\tx", "it holds a control character"},
        {"host:", "its port \"\" is not a number from 1 to 65535"},
        {"host:0", "its port \"0\" is not a number from 1 to 65535"},
        {"host:65536", "its port \"65536\" is not a number from 1 to 65535"},
        {"host:+80", "its port \"+80\" is not a number from 1 to 65535"},
        {":8443", "it names no host"},
        {"::1", "an IPv6 address must be in brackets, as [::1]"},
        {"[::1", "its IPv6 address lacks the closing ]"},
        {"[::1]8443", "only :port may follow the IPv6 address"},
        {"[not-an-address]", "\"[not-an-address]\" is not a host name or an IP address"},
        {"a..b", "\"a..b\" is not a host name or an IP address"},
    };
    for (const auto& [setting, problem] : cases) {
        EXPECT_EQ(ConnectorHost::problem(setting), problem) << setting.toStdString();
        EXPECT_THROW(ConnectorHost{setting}, std::invalid_argument) << setting.toStdString();
    }
}

} // namespace
