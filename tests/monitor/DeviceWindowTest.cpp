// Tavix CallerID tests: messages posted by the device library's own thread reach
// DeviceWindowProc on the GUI thread, in order, once each, and every message goes on down the
// window's procedure chain: on Windows through a real window, elsewhere through its stand-in.
#include "DeviceEventFixture.h"
#include "TestPlatform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QWidget>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

constexpr int kMessages = 1000;

struct Seen
{
    uint32_t message;
    int32_t wParam;
    int32_t lParam;
    bool onGuiThread;
};

std::vector<Seen> g_seen;
QThread* g_guiThread = nullptr;
DeviceWindow* g_window = nullptr;

// The window's procedure before DeviceWindowProc: it records the posted kinds that come down
// the chain (a real window gets the system's own messages too, when a box opens over it).
int32_t previousProcedure(AD101WindowHandle, uint32_t message, int32_t wParam, int32_t lParam)
{
    if (message == WM_DEVICE_EVENT || message == WM_DEVICE_EVENT + 1)
        g_seen.push_back({message, wParam, lParam, QThread::currentThread() == g_guiThread});
    return 0;
}

// Runs the event loop until `count` messages came down the chain; gives up after a generous
// deadline so that a lost message fails instead of hanging.
bool deliverUntil(size_t count)
{
    QElapsedTimer deadline;
    deadline.start();
    while (g_seen.size() < count && deadline.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return g_seen.size() >= count;
}

class DeviceWindowTest : public ::testing::Test
{
  protected:
    DeviceWindowTest()
    {
        g_seen.clear();
        g_guiThread = QThread::currentThread();
        g_window = &window;
        table.build();
        window.replaceWindowProcedure(&previousProcedure);
        window.installDeviceWindowProc(&handler);
    }
    ~DeviceWindowTest() override { g_window = nullptr; }

    // As the library does: from a thread of its own, through the handle it was given, line 0
    // to 3 disabled in turn, with a message of another kind after each, which only goes down the
    // chain.
    std::thread postFromTheLibrary()
    {
        return std::thread([handle = window.handle()] {
            for (int i = 0; i < kMessages; ++i)
                TestPlatform::postToWindow(handle, i % 2 ? WM_DEVICE_EVENT + 1 : WM_DEVICE_EVENT,
                                           (i / 2 % kLineCount) * 65536 + EV_DISABLE, 0);
        });
    }

    void expectEachOnceInOrderOnTheGuiThread()
    {
        ASSERT_EQ(g_seen.size(), static_cast<size_t>(kMessages));
        for (int i = 0; i < kMessages; ++i) {
            EXPECT_EQ(g_seen[i].message, i % 2 ? WM_DEVICE_EVENT + 1 : WM_DEVICE_EVENT) << i;
            EXPECT_EQ(g_seen[i].wParam, (i / 2 % kLineCount) * 65536 + EV_DISABLE) << i;
            EXPECT_TRUE(g_seen[i].onGuiThread) << i;
        }
        EXPECT_EQ(mainWindow.calls.size(), static_cast<size_t>(kMessages / 2));
    }

    QWidget owner;
    DeviceWindow window{static_cast<std::uintptr_t>(owner.winId())};
    RecordingDevice recorder;
    DeviceLibrary device{recorder.resolver()};
    LineStatusModel table;
    TempDir dir;
    ActivityLog log{dir / "tavix.log"};
    FakeMainWindow mainWindow;
    FakeDiagnostics diagnostics;
    FakeWindows windows{mainWindow, diagnostics};
    DeviceEventHandler handler{device, table, log, windows};
};

TEST_F(DeviceWindowTest, MessagesFromTheLibrarysThreadArriveInOrderOnTheGuiThread)
{
    std::thread library = postFromTheLibrary();
    library.join();
    EXPECT_TRUE(deliverUntil(kMessages));
    QCoreApplication::processEvents();
    expectEachOnceInOrderOnTheGuiThread();
}

TEST_F(DeviceWindowTest, MessagesAreHandledInsideAMessageBoxToo)
{
    std::thread library;
    QTimer::singleShot(0, [&] {
        library = postFromTheLibrary();
        library.join();
        EXPECT_TRUE(QTest::qWaitFor([] { return g_seen.size() >= kMessages; }, 30000));
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
    });
    QMessageBox::information(&owner, QStringLiteral("Tavix CallerID"), QStringLiteral("busy"));
    expectEachOnceInOrderOnTheGuiThread();
}

TEST_F(DeviceWindowTest, TwoThreadsKeepTheirOrderAndLoseNothing)
{
    constexpr int32_t kPerThread = 5000;
    std::vector<std::thread> posters;
    for (int32_t poster = 1; poster <= 2; ++poster) {
        posters.emplace_back([handle = window.handle(), poster] {
            for (int32_t i = 0; i < kPerThread; ++i)
                TestPlatform::postToWindow(handle, WM_DEVICE_EVENT + 1, poster, i);
        });
    }
    // Delivery runs while the posters are still busy.
    const bool allArrived = deliverUntil(2 * kPerThread);
    for (std::thread& poster : posters)
        poster.join();
    ASSERT_TRUE(allArrived) << g_seen.size();
    EXPECT_EQ(g_seen.size(), size_t{2 * kPerThread});
    int32_t next[3] = {0, 0, 0};
    for (const Seen& seen : g_seen) {
        ASSERT_TRUE(seen.wParam == 1 || seen.wParam == 2) << seen.wParam;
        ASSERT_EQ(seen.lParam, next[seen.wParam]) << "poster " << seen.wParam;
        ++next[seen.wParam];
        ASSERT_TRUE(seen.onGuiThread);
    }
}

TEST_F(DeviceWindowTest, PostingOnlyQueuesAndAMessagePostedDuringDeliveryComesLast)
{
    static const auto reposting = [](AD101WindowHandle handle, uint32_t message, int32_t wParam,
                                     int32_t lParam) {
        if (message == WM_DEVICE_EVENT + 1 && wParam == 1)
            g_window->post(message, 99, 0);
        return previousProcedure(handle, message, wParam, lParam);
    };
    window.replaceWindowProcedure(reposting);
    window.post(WM_DEVICE_EVENT + 1, 1, 0);
    window.post(WM_DEVICE_EVENT + 1, 2, 0);
    EXPECT_TRUE(g_seen.empty()); // nothing runs inside post()
    ASSERT_TRUE(deliverUntil(3));
    ASSERT_EQ(g_seen.size(), 3u);
    EXPECT_EQ(g_seen[0].wParam, 1);
    EXPECT_EQ(g_seen[1].wParam, 2);
    EXPECT_EQ(g_seen[2].wParam, 99);
}

} // namespace
