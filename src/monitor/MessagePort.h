// Tavix CallerID: the stand-in for a window's message queue.
#pragma once

#include "device/ad101_api.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <mutex>

// A window procedure: the handler of every message of one window.
using WindowProc = int32_t (*)(AD101WindowHandle window, uint32_t message, int32_t wParam,
                               int32_t lParam);

// The queue of the window whose handle the device library posts to. The library may post
// from any thread; post() only queues and wakes the owner's event loop, it never waits on
// or calls into the GUI. Messages are delivered later on the port's thread, one at a time
// and in posting order, to the window procedure in force at delivery.
class MessagePort : public QObject
{
    Q_OBJECT

public:
    explicit MessagePort(QObject* parent = nullptr);
    ~MessagePort() override;

    // The handle given to the device library. It stays valid for the life of the port.
    AD101WindowHandle handle() { return reinterpret_cast<AD101WindowHandle>(&m_abi); }
    // The port behind a handle, or null when the handle is not one of ours.
    static MessagePort* fromHandle(AD101WindowHandle window);

    // Thread-safe.
    void post(uint32_t message, int32_t wParam, int32_t lParam);

    WindowProc windowProc() const { return m_windowProc; }
    // Returns the procedure that was in force before.
    WindowProc setWindowProc(WindowProc procedure);

    // Delivers everything queued so far (normally the event loop does this).
    void deliverPending();
    // Number of messages waiting; thread-safe.
    size_t pendingCount() const;

    // The procedure of a window that handles nothing itself.
    static int32_t defaultWindowProc(AD101WindowHandle window, uint32_t message, int32_t wParam,
                                     int32_t lParam);

private:
    struct Message {
        uint32_t message;
        int32_t wParam;
        int32_t lParam;
    };
    static void postFromLibrary(void* context, uint32_t message, int32_t wParam, int32_t lParam);
    bool takeNext(Message& next);

    AD101MessagePort m_abi;
    WindowProc m_windowProc = &MessagePort::defaultWindowProc;
    mutable std::mutex m_mutex;
    std::deque<Message> m_queue;
    bool m_wakeScheduled = false;
};
