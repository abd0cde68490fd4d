// Tavix CallerID tests: callers on every line, closer together than the web application answers,
// are each sent once on their own line, and events go on being handled meanwhile.
#include "HttpsServer.h"
#include "RecordingDevice.h"
#include "TempDir.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"
#include "monitor/LineStatusModel.h"
#include "notify/CallNotifier.h"

#include <QTest>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int kBurst = 1000;

class Windows : public DeviceEventListener
{
  public:
    explicit Windows(CallNotifier& notifier) : m_notifier(notifier) {}
    void LightOn(int32_t) override {}
    void LightOff(int32_t) override {}
    bool showPhoneNumberTicked() const override { return true; }
    void showTimingParameters(int32_t, const AD101TimingParameters&) override {}
    void SendCall(const std::string& callerID, const std::string& line) override
    {
        m_notifier.SendCall(callerID, line, QStringLiteral("user"), QStringLiteral("secret"));
    }

  private:
    CallNotifier& m_notifier;
};

std::vector<std::string> logEntries(const TempDir& dir)
{
    std::vector<std::string> entries;
    const std::string bytes = readFile(dir / "tavix.log");
    const std::string end = "\r\n...\r\n";
    for (size_t at = 0, next; (next = bytes.find(end, at)) != std::string::npos;
         at = next + end.size())
        entries.push_back(bytes.substr(at + 10, next - at - 10)); // after "> 100000: "
    return entries;
}

TEST(CallsWhileConnectorIsSlow, EachCallerIsSentOnceOnItsLineAndEventsKeepFlowing)
{
    TempDir dir;
    const ActivityLog log(dir / "tavix.log", [] { return TimeOfDay{10, 0, 0}; });
    RecordingDevice fake;
    DeviceLibrary device(fake.resolver());
    HttpsServer slow({.body = "OK", .delay = 3s});
    CallNotifier notifier(log, slow.host(), HttpsServer::caFile());
    LineStatusModel table;
    table.build();
    Windows windows(notifier);
    DeviceEventHandler handler(device, table, log, windows);
    DeviceWindow window;
    window.installDeviceWindowProc(&handler);

    // A caller on each line, 200 ms apart. Right after each is handled the line already holds
    // the next call's number, which must not be the one sent.
    for (int line = 0; line < kLineCount; ++line) {
        fake.line(line).callerId = "55500" + std::to_string(line);
        fake.line(line).callerIdCount = 1;
        window.post(WM_DEVICE_EVENT, line * 65536 + EV_BACK_CID, 0);
        window.deliverPosted();
        fake.line(line).callerId = "999999";
        QTest::qWait(200);
    }
    // Events go on being handled while every request waits for its reply.
    for (int i = 0; i < kBurst; ++i)
        window.post(WM_DEVICE_EVENT, (i % 4) * 65536 + EV_LINE_STATE, LS_HOOK_ON_PRA);
    const auto handled = [&] { return logEntries(dir).size() == 4 * 5 + kBurst; };
    EXPECT_TRUE(QTest::qWaitFor(handled, 30000));
    EXPECT_EQ(notifier.pendingCount(), 4u) << "the burst is handled before any reply";

    ASSERT_TRUE(QTest::qWaitFor([&] { return notifier.pendingCount() == 0; }, 30000));
    std::map<std::string, std::string> sent;
    for (const auto& request : slow.requests())
        EXPECT_TRUE(sent.emplace(request.value("line"), request.value("caller")).second)
            << "line " << request.value("line") << " sent twice";
    EXPECT_EQ(sent, (std::map<std::string, std::string>{
                        {"1", "555000"}, {"2", "555001"}, {"3", "555002"}, {"4", "555003"}}));

    const std::vector<std::string> entries = logEntries(dir);
    ASSERT_EQ(entries.size(), static_cast<size_t>(4 * 5 + kBurst + 4));
    for (size_t i = 4 * 5; i < entries.size() - 4; ++i)
        ASSERT_EQ(entries[i], "HK ON STATE PRA") << "entry " << i;
    for (size_t i = entries.size() - 4; i < entries.size(); ++i)
        EXPECT_EQ(entries[i], "OK");
}

} // namespace
