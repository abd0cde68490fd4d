// Tavix CallerID tests: notifications that arrive while a caller ID is being sent wait their
// turn and are all handled afterwards, in order, each with its log entry.
#include "HttpsServer.h"
#include "RecordingDevice.h"
#include "TempDir.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/LineStatusTable.h"
#include "monitor/MessagePort.h"
#include "monitor/MonitorLinks.h"
#include "notify/CallNotifier.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kBurst = 1000;
// Hook states that log one entry each and need no device call.
constexpr int32_t kCodes[] = {LS_HOOK_ON_PRA, LS_HOOK_ON_PRB, LS_HOOK_ON_NOPR,
                              LS_NO_HOOK_PRA, LS_NO_HOOK_PRB, LS_NO_HOOK_NOPR};
const char* const kTexts[] = {"HK ON STATE PRA", "HK ON STATE PRB", "HK ON STATE NOPR",
                              "NOHKPRA",         "NOHKPRB",         "NOHKNOPR"};

// The main window's part: sends through the real notifier while the box keeps posting.
class BusyMainWindow : public MainWindowLink, public DiagnosticsLink
{
public:
    BusyMainWindow(CallNotifier& notifier, MessagePort& port) : m_notifier(notifier), m_port(port) {}

    void LightOn(int32_t) override {}
    void LightOff(int32_t) override {}
    bool showPhoneNumberTicked() const override { return true; }
    void showTimingParameters(int32_t, const AD101TimingParameters&) override {}

    void SendCall(const std::string& callerID, const std::string& line) override
    {
        std::thread box([this] {
            for (int i = 0; i < kBurst; ++i)
                m_port.post(WM_DEVICE_EVENT, (i % 4) * 65536 + EV_LINE_STATE, kCodes[i % 6]);
        });
        m_notifier.SendCall(callerID, line, QStringLiteral("user"), QStringLiteral("secret"));
        box.join();
        queuedWhileSending = m_port.pendingCount();
    }

    size_t queuedWhileSending = 0;

private:
    CallNotifier& m_notifier;
    MessagePort& m_port;
};

TEST(BurstWhileSending, EveryNotificationIsHandledAfterTheRequestInOrder)
{
    TempDir dir;
    const ActivityLog log(dir / "tavix.log", [] { return TimeOfDay{10, 0, 0}; });
    RecordingDevice fake;
    fake.line(1).callerId = "0123456789";
    fake.line(1).callerIdCount = 1;
    DeviceLibrary device(fake.resolver());
    HttpsServer::Options slow;
    slow.body = "OK";
    slow.delay = 1500ms;
    HttpsServer server(slow);
    CallNotifier notifier(log, server.host(), HttpsServer::caFile());
    LineStatusTable table;
    table.build();
    MessagePort port;
    BusyMainWindow windows(notifier, port);
    DeviceEventHandler handler(device, table, log, &windows, &windows);
    InstallDeviceWindowProc(port.handle(), handler);

    port.post(WM_DEVICE_EVENT, 1 * 65536 + EV_BACK_CID, 0);
    port.deliverPending();

    EXPECT_EQ(windows.queuedWhileSending, static_cast<size_t>(kBurst))
        << "nothing is handled while the request is pending";
    EXPECT_EQ(port.pendingCount(), 0u);
    ASSERT_EQ(server.requests().size(), 1u);

    std::vector<std::string> entries;
    const std::string bytes = readFile(dir / "tavix.log");
    const std::string end = "\r\n...\r\n";
    for (size_t at = 0, next; (next = bytes.find(end, at)) != std::string::npos; at = next + end.size())
        entries.push_back(bytes.substr(at + 10, next - at - 10)); // after "> 100000: "
    ASSERT_EQ(entries.size(), static_cast<size_t>(5 + 1 + kBurst));
    EXPECT_EQ(entries[0], "MCU_BACKCID");
    EXPECT_EQ(entries[5], "OK");
    for (int i = 0; i < kBurst; ++i)
        ASSERT_EQ(entries[static_cast<size_t>(6 + i)], kTexts[i % 6]) << "notification " << i;
    EXPECT_EQ(table.cellText(3, COL_LINE_STATE), "NO HOOK PR+"); // the last, 999: line 3, code 9
}

} // namespace
