// Tavix CallerID tests: MessagePort, the device's channel into the GUI thread.
#include "monitor/MessagePort.h"

#include "monitor/WindowSystem.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

struct Delivered
{
    uint32_t message;
    int32_t wParam;
    int32_t lParam;
    bool onPortThread;
};

std::vector<Delivered> g_delivered;
QThread* g_portThread = nullptr;

int32_t recordingProc(AD101WindowHandle, uint32_t message, int32_t wParam, int32_t lParam)
{
    g_delivered.push_back({message, wParam, lParam, QThread::currentThread() == g_portThread});
    return 0;
}

// Posts the way the device library does: through the C view of the handle.
void postThroughHandle(AD101WindowHandle handle, int32_t wParam, int32_t lParam)
{
    const auto* port = reinterpret_cast<const AD101MessagePort*>(handle);
    port->post(port->context, AD101_WM_DEVICE_EVENT, wParam, lParam);
}

class MessagePortTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        g_delivered.clear();
        g_portThread = m_port.thread();
        SetWindowLongPtrW(m_port.handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&recordingProc));
    }

    // Runs the event loop until `count` messages were delivered; gives up after a generous
    // deadline so that a lost message fails instead of hanging.
    bool deliverUntil(size_t count)
    {
        QElapsedTimer deadline;
        deadline.start();
        while (g_delivered.size() < count && deadline.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return g_delivered.size() >= count;
    }

    MessagePort m_port;
};

TEST_F(MessagePortTest, TwoThreadsKeepTheirOrderAndLoseNothing)
{
    constexpr int32_t kPerThread = 10000;
    const AD101WindowHandle handle = m_port.handle();
    std::vector<std::thread> posters;
    for (int32_t poster = 1; poster <= 2; ++poster) {
        posters.emplace_back([handle, poster] {
            for (int32_t i = 0; i < kPerThread; ++i)
                postThroughHandle(handle, poster, i);
        });
    }
    // Delivery runs while the posters are still busy.
    const bool allArrived = deliverUntil(2 * kPerThread);
    for (std::thread& poster : posters)
        poster.join();
    ASSERT_TRUE(allArrived) << g_delivered.size();
    EXPECT_EQ(g_delivered.size(), size_t{2 * kPerThread});

    int32_t next[3] = {0, 0, 0};
    for (const Delivered& d : g_delivered) {
        ASSERT_TRUE(d.wParam == 1 || d.wParam == 2) << d.wParam;
        EXPECT_EQ(d.message, AD101_WM_DEVICE_EVENT);
        ASSERT_EQ(d.lParam, next[d.wParam]) << "poster " << d.wParam;
        ++next[d.wParam];
        ASSERT_TRUE(d.onPortThread);
    }
}

TEST_F(MessagePortTest, PostFromAnotherThreadIsDeliveredOnThePortsThread)
{
    std::thread([handle = m_port.handle()] { postThroughHandle(handle, 7, 8); }).join();
    EXPECT_TRUE(g_delivered.empty()); // nothing runs inside post()
    ASSERT_TRUE(deliverUntil(1));
    ASSERT_EQ(g_delivered.size(), 1u);
    EXPECT_EQ(g_delivered[0].wParam, 7);
    EXPECT_EQ(g_delivered[0].lParam, 8);
    EXPECT_TRUE(g_delivered[0].onPortThread);
}

TEST_F(MessagePortTest, PostsBeforeTheEventLoopRunsWaitInOrder)
{
    for (int32_t i = 0; i < 3; ++i)
        m_port.post(AD101_WM_DEVICE_EVENT, i, -i);
    EXPECT_EQ(m_port.pendingCount(), 3u);
    EXPECT_TRUE(g_delivered.empty());
    ASSERT_TRUE(deliverUntil(3));
    EXPECT_EQ(m_port.pendingCount(), 0u);
    for (int32_t i = 0; i < 3; ++i) {
        EXPECT_EQ(g_delivered[static_cast<size_t>(i)].wParam, i);
        EXPECT_EQ(g_delivered[static_cast<size_t>(i)].lParam, -i);
    }
}

TEST_F(MessagePortTest, MessagePostedDuringDeliveryComesAfterTheQueuedOnes)
{
    static MessagePort* port = nullptr;
    port = &m_port;
    const auto reposting = [](AD101WindowHandle window, uint32_t message, int32_t wParam,
                              int32_t lParam) {
        if (wParam == 1)
            port->post(message, 99, 0);
        return recordingProc(window, message, wParam, lParam);
    };
    m_port.setWindowProc(reposting);
    m_port.post(AD101_WM_DEVICE_EVENT, 1, 0);
    m_port.post(AD101_WM_DEVICE_EVENT, 2, 0);
    ASSERT_TRUE(deliverUntil(3));
    ASSERT_EQ(g_delivered.size(), 3u);
    EXPECT_EQ(g_delivered[0].wParam, 1);
    EXPECT_EQ(g_delivered[1].wParam, 2);
    EXPECT_EQ(g_delivered[2].wParam, 99);
}

TEST_F(MessagePortTest, HandleLeadsBackToItsPortOnly)
{
    EXPECT_EQ(MessagePort::fromHandle(m_port.handle()), &m_port);
    EXPECT_EQ(MessagePort::fromHandle(0), nullptr);
    AD101MessagePort stranger{0x12345678u, &m_port, nullptr};
    EXPECT_EQ(MessagePort::fromHandle(reinterpret_cast<AD101WindowHandle>(&stranger)), nullptr);
}

TEST_F(MessagePortTest, WindowProcedureIsReplacedThroughTheHandle)
{
    const intptr_t previous = SetWindowLongPtrW(
        m_port.handle(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&MessagePort::defaultWindowProc));
    EXPECT_EQ(previous, reinterpret_cast<LONG_PTR>(&recordingProc));
    EXPECT_EQ(SetWindowLongPtrW(m_port.handle(), -16, 0), 0); // only GWLP_WNDPROC is supported
    EXPECT_EQ(m_port.windowProc(), &MessagePort::defaultWindowProc);
    m_port.post(AD101_WM_DEVICE_EVENT, 1, 1);
    m_port.deliverPending();
    EXPECT_TRUE(g_delivered.empty());
}

} // namespace
