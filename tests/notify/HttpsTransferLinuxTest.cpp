// Tavix CallerID tests: what only the Linux transfer does: extra authorities from a file (on
// Windows a shop installs its authority in the Windows certificate store), and connections of its
// own (WinHTTP under Wine shares them between sessions).
#include "RecordingTransfer.h"

#include "HttpsServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

namespace {

using Transfer = RecordingTransfer;

TEST(HttpsTransferTest, AnotherTransferOpensAConnectionOfItsOwn)
{
    HttpsServer server;
    Transfer first(kRequestTimeout, HttpsServer::caFile());
    first.fetch(urlOf(server));
    Transfer second(kRequestTimeout, HttpsServer::caFile());
    second.fetch(urlOf(server));

    const auto requests = server.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].connection, 1);
    EXPECT_EQ(requests[1].connection, 2);
}

TEST(HttpsTransferTest, TrustsTheTestAuthorityOnlyWhenGiven)
{
    HttpsServer server;
    Transfer systemOnly;
    const std::string description = systemOnly.fetch(urlOf(server));
    EXPECT_EQ(description.rfind(failed("SSL peer certificate or SSH remote key was not OK: "), 0),
              0u)
        << description;
    EXPECT_TRUE(server.requests().empty());
}

TEST(HttpsTransferTest, UnusableAuthorityFileFailsEveryRequest)
{
    TempDir dir;
    std::ofstream(dir / "empty.pem").close();
    HttpsServer server;
    const std::pair<std::filesystem::path, std::string> cases[] = {
        {dir / "missing.pem", "No such file or directory"},
        {dir / "empty.pem", "it is empty"},
        {dir.path(), "Is a directory"},
    };
    for (const auto& [file, problem] : cases) {
        Transfer transfer(kRequestTimeout, file.string());
        for (int attempt = 0; attempt < 2; ++attempt)
            EXPECT_EQ(transfer.fetch(urlOf(server)),
                      failed("Cannot read the certificate authority file " + file.string() + ": " +
                             problem));
    }
    EXPECT_TRUE(server.requests().empty());
}

} // namespace
