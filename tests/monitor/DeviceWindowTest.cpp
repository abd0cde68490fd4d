// Tavix CallerID tests: messages posted by the device library's own thread reach
// DeviceWindowProc on the GUI thread, in order, once each, and every message goes on down the
// window's procedure chain: on Windows through a real window, elsewhere through its stand-in.
#include "RecordingDevice.h"
#include "TempDir.h"
#include "log/ActivityLog.h"
#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"
#include "monitor/DeviceWindow.h"
#include "monitor/LineStatusTable.h"
#include "monitor/MonitorLinks.h"

#include <QApplication>
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

struct Seen {
    UINT message;
    int32_t wParam;
    bool onGuiThread;
};

std::vector<Seen> g_seen;
QThread* g_guiThread = nullptr;

// The window's procedure before DeviceWindowProc: it records the posted kinds that come down
// the chain (a real window gets the system's own messages too, when a box opens over it).
LRESULT CALLBACK previousProcedure(HWND, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_DEVICE_EVENT || message == WM_DEVICE_EVENT + 1)
        g_seen.push_back(
            {message, static_cast<int32_t>(wParam), QThread::currentThread() == g_guiThread});
    return 0;
}

class DeviceWindowTest : public ::testing::Test
{
protected:
    DeviceWindowTest()
    {
        g_seen.clear();
        g_guiThread = QThread::currentThread();
        table.build();
        SetWindowLongPtrW(window.window(), GWLP_WNDPROC,
                          reinterpret_cast<LONG_PTR>(&previousProcedure));
        InstallDeviceWindowProc(window.window(), handler);
    }

    // As the library does: from a thread of its own, line 0 to 3 enabled in turn, with a
    // message of another kind after each, which only goes down the chain.
    std::thread postFromTheLibrary()
    {
        return std::thread([this] {
            for (int i = 0; i < kMessages; ++i)
                window.post(i % 2 ? WM_DEVICE_EVENT + 1 : WM_DEVICE_EVENT,
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
        EXPECT_EQ(windows.calls.size(), static_cast<size_t>(kMessages / 2));
    }

    // Counts the lamps the handled events switch off.
    struct Windows : MainWindowLink {
        void LightOn(int32_t) override {}
        void LightOff(int32_t line) override { calls.push_back(line); }
        void SendCall(const std::string&, const std::string&) override {}
        std::vector<int32_t> calls;
    };

    QWidget owner;
    DeviceWindow window{owner};
    RecordingDevice recorder;
    DeviceLibrary device{recorder.resolver()};
    LineStatusTable table;
    TempDir dir;
    ActivityLog log{dir / "tavix.log"};
    Windows windows;
    DeviceEventHandler handler{device, table, log, &windows};
};

TEST_F(DeviceWindowTest, MessagesFromTheLibrarysThreadArriveInOrderOnTheGuiThread)
{
    std::thread library = postFromTheLibrary();
    library.join();
    EXPECT_TRUE(QTest::qWaitFor([] { return g_seen.size() >= kMessages; }, 30000));
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

} // namespace
