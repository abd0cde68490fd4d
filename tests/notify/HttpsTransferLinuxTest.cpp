// Tavix CallerID tests: what only the Linux transfer does: extra authorities from a file (on
// Windows a shop installs its authority in the Windows certificate store), and connections of its
// own (WinHTTP under Wine shares them between sessions).
#include "RecordingTransfer.h"

#include "notify/CertificateStore.h"

#include "HttpsServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>

#include <sys/stat.h>

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

// A file that is not a usable file of authorities fails every request, without anything sent,
// and without blocking: a FIFO nobody writes to, or a device without end, is never read.
TEST(HttpsTransferTest, UnusableAuthorityFileFailsEveryRequest)
{
    TempDir dir;
    std::ofstream(dir / "empty.pem").close();
    std::ofstream(dir / "garbage.pem") << "not a certificate\n";
    std::ofstream(dir / "damaged.pem") << "-----BEGIN CERTIFICATE-----\nMIIB!!!\n"
                                          "-----END CERTIFICATE-----\n";
    std::ofstream(dir / "huge.pem") << std::string(CertificateStore::kMaxFileBytes + 1, '\n');
    ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0600), 0);
    HttpsServer server;
    const std::pair<std::filesystem::path, std::string> cases[] = {
        {dir / "missing.pem", "Cannot read the certificate authority file %: No such file or "
                              "directory"},
        {dir / "empty.pem", "Cannot read the certificate authority file %: it is empty"},
        {dir.path(), "Cannot read the certificate authority file %: it is a folder, not a file"},
        {dir / "fifo", "Cannot read the certificate authority file %: it is not a regular file (a "
                       "FIFO, a device or a socket)"},
        {"/dev/zero", "Cannot read the certificate authority file %: it is not a regular file (a "
                      "FIFO, a device or a socket)"},
        {dir / "huge.pem", "Cannot read the certificate authority file %: it is larger than 4 "
                           "MiB, which no file of authorities is"},
        {dir / "garbage.pem", "Cannot use the certificate authority file %: it holds no "
                              "certificate in PEM format"},
        {dir / "damaged.pem", "Cannot use the certificate authority file %: it is not a file of "
                              "certificates in PEM format ("},
    };
    for (const auto& [file, problem] : cases) {
        std::string expected = problem;
        expected.replace(expected.find('%'), 1, file.string());
        Transfer transfer(kRequestTimeout, file.string());
        for (int attempt = 0; attempt < 2; ++attempt) {
            const TransferResult result = transfer.wait(transfer.start(urlOf(server)));
            EXPECT_EQ(result.text.rfind(expected, 0), 0u) << result.text;
            EXPECT_TRUE(result.notSent);
        }
        // Checked at once, it is reported as the transfer's own problem (id 0), once.
        transfer.transfer().checkAuthorities();
        EXPECT_EQ(transfer.wait(0).text.rfind(expected, 0), 0u);
    }
    EXPECT_TRUE(server.requests().empty());
}

// Read once per change: a file put right is used from the next request on.
TEST(HttpsTransferTest, AnAuthorityFilePutRightIsReadAgain)
{
    TempDir dir;
    const auto file = dir / "ca.pem";
    std::ofstream(file) << "not yet\n";
    HttpsServer server;
    Transfer transfer(kRequestTimeout, file.string());
    EXPECT_TRUE(transfer.wait(transfer.start(urlOf(server))).notSent);
    std::filesystem::copy_file(HttpsServer::caFile(), file,
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_EQ(transfer.fetch(urlOf(server)), "OK");
}
} // namespace
