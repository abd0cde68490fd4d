// Tavix CallerID tests: the simulated box's control socket and its line protocol.
#include "SimulatorHarness.h"

#include "simulator/ControlChannel.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

using nlohmann::json;

sockaddr_un unixSocketAddress(const std::string& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, sizeof address.sun_path - 1);
    return address;
}

// A socket bound at `path`; listening or not.
class BoundSocket
{
  public:
    BoundSocket(const std::string& path, bool listening)
        : m_fd(socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0))
    {
        const sockaddr_un address = unixSocketAddress(path);
        EXPECT_EQ(bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
        if (listening) {
            EXPECT_EQ(listen(m_fd, 1), 0);
        }
    }
    ~BoundSocket() { close(m_fd); }
    int fd() const { return m_fd; }

  private:
    int m_fd;
};

class ControlSocketTest : public ::testing::Test
{
  protected:
    json request(const std::string& line)
    {
        try {
            return json::parse(ControlClient(box.controlAddress()).request(line));
        } catch (const std::exception& error) {
            ADD_FAILURE() << "request failed: " << error.what();
            return {};
        }
    }

    SimulatorHarness box;
};

TEST(ControlAddressTest, FollowsXdgRuntimeDirElseAPrivateFolder)
{
    {
        // Only a folder of the user's that nobody else may enter.
        const TempDir runtime;
        ScopedEnv set("XDG_RUNTIME_DIR", runtime.path().string());
        EXPECT_EQ(defaultControlAddress(), (runtime / "tavix-ad101.sock").string());
    }
    const TempDir state;
    const ScopedEnv stateHome("XDG_STATE_HOME", state.path().string());
    const std::string perUser = "/run/user/" + std::to_string(getuid()) + "/tavix-ad101.sock";
    for (const char* ignored : {static_cast<const char*>(nullptr), ""}) {
        ScopedEnv unset("XDG_RUNTIME_DIR", ignored);
        const std::string path = defaultControlAddress();
        if (path != perUser) {
            EXPECT_EQ(path, (state / "tavix/tavix-ad101.sock").string());
        }
    }
}

TEST_F(ControlSocketTest, SocketIsForTheOwnerOnly)
{
    box.open();
    struct stat status
    {
    };
    ASSERT_EQ(stat(box.controlAddress().c_str(), &status), 0);
    EXPECT_TRUE(S_ISSOCK(status.st_mode));
    EXPECT_EQ(status.st_mode & 0777, 0600u);
    EXPECT_EQ(status.st_uid, getuid());
}

TEST_F(ControlSocketTest, StaleSocketOfADeadProgramIsReplaced)
{
    {
        BoundSocket leftOver(box.controlAddress(), false);
    }
    ASSERT_TRUE(std::filesystem::exists(box.controlAddress()));
    box.open();
    EXPECT_EQ(box.status().value("open", false), true);
}

TEST_F(ControlSocketTest, LiveSocketOfAnotherBoxIsLeftAlone)
{
    BoundSocket other(box.controlAddress(), true);
    box.open();
    // Our listener still owns the path: a client reaches it, not the box.
    const int client = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const sockaddr_un address = unixSocketAddress(box.controlAddress());
    ASSERT_EQ(connect(client, reinterpret_cast<const sockaddr*>(&address), sizeof(address)), 0);
    const int accepted = accept(other.fd(), nullptr, nullptr);
    EXPECT_GE(accepted, 0);
    close(accepted);
    close(client);
}

TEST_F(ControlSocketTest, BadRequestsGetAnErrorAndChangeNothing)
{
    box.open();
    const json before = box.status();
    const std::vector<std::string> requests = {
        "",
        "hello",
        "[1,2]",
        "{\"command\":42}",
        "{\"command\":\"fly\"}",
        "{\"line\":1}",
        "{\"command\":\"post\",\"wParam\":1}",
        "{\"command\":\"post\",\"wParam\":2147483648,\"lParam\":0}",
        "{\"command\":\"post\",\"wParam\":-2147483649,\"lParam\":0}",
        "{\"command\":\"post\",\"wParam\":1.5,\"lParam\":0}",
        "{\"command\":\"post\",\"wParam\":\"1\",\"lParam\":0}",
        "{\"command\":\"set\",\"line\":4,\"field\":\"name\",\"value\":\"x\"}",
        "{\"command\":\"set\",\"line\":-1,\"field\":\"rings\",\"value\":1}",
        "{\"command\":\"set\",\"line\":1,\"field\":\"color\",\"value\":\"red\"}",
        "{\"command\":\"set\",\"line\":1,\"field\":\"name\",\"value\":7}",
        "{\"command\":\"set\",\"line\":1,\"field\":\"rings\",\"value\":\"x\"}",
        "{\"command\":\"set\",\"line\":1,\"field\":\"parameters\",\"value\":[1,2,3,4,5]}",
        "{\"command\":\"set\",\"line\":1,\"field\":\"parameters\",\"value\":[1,2,3,4,5,\"6\"]}",
        "{\"command\":\"call\",\"line\":1}",
        "{\"command\":\"call\",\"line\":1,\"number\":\"5\",\"intervalMs\":0}",
        "{\"command\":\"dial\",\"line\":1,\"digits\":\"5\",\"intervalMs\":3600001}",
        "{\"command\":\"call\",\"line\":9,\"number\":\"5\"}",
        "{\"command\":\"answer\"}",
        "{\"command\":\"trace\",\"clear\":\"yes\"}",
        "\xff\xfe{",
        "{\"command\":\"status\"", // cut short
    };
    for (const std::string& line : requests) {
        const json reply = request(line);
        EXPECT_EQ(reply.value("ok", true), false) << line;
        EXPECT_FALSE(reply.value("error", std::string()).empty()) << line;
    }
    box.drain();
    EXPECT_TRUE(box.received().empty());
    EXPECT_EQ(box.status(), before);
}

TEST_F(ControlSocketTest, RequestsUpTo64KiBAreServedLongerOnesRefused)
{
    box.open();
    const auto padded = [](size_t length) {
        std::string line = "{\"command\":\"status\",\"pad\":\"\"}";
        line.insert(line.size() - 2, length - line.size(), 'x');
        return line;
    };
    EXPECT_EQ(request(padded(64 * 1024)).value("ok", false), true);

    const json refused = request(padded(64 * 1024 + 1));
    EXPECT_EQ(refused.value("ok", true), false);
    EXPECT_NE(refused.value("error", std::string()).find("longer than 65536"), std::string::npos)
        << refused;

    const json huge = request(std::string(1 << 20, 'x'));
    EXPECT_EQ(huge.value("ok", true), false);
    EXPECT_EQ(request("{\"command\":\"status\"}").value("ok", false), true);
}

TEST_F(ControlSocketTest, ReportsKeepComingAfterFreeDevice)
{
    box.open();
    box.device().AD101_FreeDevice();
    const json status = request("{\"command\":\"status\"}");
    EXPECT_EQ(status["status"]["open"], false);
    const json trace = request("{\"command\":\"trace\"}");
    ASSERT_TRUE(trace["trace"].is_array());
    EXPECT_EQ(trace["trace"].back(), "AD101_FreeDevice");
    for (const char* refused : {"{\"command\":\"post\",\"wParam\":1,\"lParam\":2}",
                                "{\"command\":\"set\",\"line\":1,\"field\":\"rings\",\"value\":1}",
                                "{\"command\":\"call\",\"line\":1,\"number\":\"5\"}"}) {
        const json reply = request(refused);
        EXPECT_EQ(reply.value("ok", true), false) << refused;
        EXPECT_NE(reply.value("error", std::string()).find("closed"), std::string::npos) << reply;
    }
}

} // namespace
