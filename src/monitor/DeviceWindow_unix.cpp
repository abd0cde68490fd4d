// Tavix CallerID: the device's window where there is no window system: a message port whose
// handle is the address of the AD101MessagePort the library posts through.
#include "monitor/DeviceWindow.h"

#include "monitor/DeviceEventHandler.h"
#include "monitor/DeviceEvents.h"

#include <QMetaObject>
#include <QObject>

#include <deque>
#include <mutex>

namespace {

int32_t handleNothing(AD101WindowHandle, uint32_t, int32_t, int32_t)
{
    return 0;
}

// The window's queue. The library may post from any thread; post() only queues and wakes the
// owner's event loop, it never waits on or calls into the GUI. Messages are delivered later on
// the port's thread, one at a time and in posting order, to the procedure in force at delivery.
class MessagePort : public QObject
{
  public:
    MessagePort()
    {
        m_abi.magic = AD101_PORT_MAGIC;
        m_abi.context = this;
        m_abi.post = &MessagePort::postFromLibrary;
    }
    // A library that kept the handle after it was freed finds a port that takes nothing.
    ~MessagePort() override
    {
        std::lock_guard lock(m_mutex);
        m_abi.magic = 0;
        m_abi.context = nullptr;
    }

    AD101WindowHandle handle() { return reinterpret_cast<AD101WindowHandle>(&m_abi); }
    static MessagePort* fromHandle(AD101WindowHandle window)
    {
        auto* abi = reinterpret_cast<AD101MessagePort*>(window);
        return abi && abi->magic == AD101_PORT_MAGIC ? static_cast<MessagePort*>(abi->context)
                                                     : nullptr;
    }

    void post(uint32_t message, int32_t wParam, int32_t lParam)
    {
        bool wake = false;
        {
            std::lock_guard lock(m_mutex);
            m_queue.push_back({message, wParam, lParam});
            wake = !std::exchange(m_wakeScheduled, true);
        }
        // One queued wake-up per batch; invokeMethod only posts an event.
        if (wake)
            QMetaObject::invokeMethod(this, &MessagePort::deliverPending, Qt::QueuedConnection);
    }

    void deliverPending()
    {
        // One message at a time: a handler that runs a nested event loop still sees the rest of
        // the queue in order.
        Message next;
        while (takeNext(next))
            procedure(handle(), next.message, next.wParam, next.lParam);
    }

    // The window's procedure; once DeviceWindowProc is in place, the one it replaced
    // (OldWindowProc) and the handler it hands device events to.
    DeviceWindowProcedure procedure = &handleNothing;
    DeviceWindowProcedure oldWindowProc = &handleNothing;
    DeviceEventHandler* handler = nullptr;

  private:
    struct Message
    {
        uint32_t message;
        int32_t wParam;
        int32_t lParam;
    };

    static void postFromLibrary(void* context, uint32_t message, int32_t wParam, int32_t lParam)
    {
        if (context)
            static_cast<MessagePort*>(context)->post(message, wParam, lParam);
    }

    bool takeNext(Message& next)
    {
        std::lock_guard lock(m_mutex);
        if (m_queue.empty()) {
            m_wakeScheduled = false;
            return false;
        }
        next = m_queue.front();
        m_queue.pop_front();
        return true;
    }

    AD101MessagePort m_abi;
    std::mutex m_mutex;
    std::deque<Message> m_queue;
    bool m_wakeScheduled = false;
};

int32_t DeviceWindowProc(AD101WindowHandle window, uint32_t message, int32_t wParam, int32_t lParam)
{
    MessagePort* port = MessagePort::fromHandle(window);
    if (!port)
        return 0;
    if (message == WM_DEVICE_EVENT && port->handler)
        port->handler->HandleDeviceEvent(wParam, lParam);
    return port->oldWindowProc(window, message, wParam, lParam);
}

} // namespace

struct DeviceWindow::Impl
{
    MessagePort port;
};

DeviceWindow::DeviceWindow(std::uintptr_t) : d(std::make_unique<Impl>()) {}

DeviceWindow::~DeviceWindow() = default;

AD101WindowHandle DeviceWindow::handle() const
{
    return d->port.handle();
}

void DeviceWindow::installDeviceWindowProc(DeviceEventHandler* handler)
{
    d->port.handler = handler;
    // Installing again must not make the procedure its own predecessor.
    if (d->port.procedure != &DeviceWindowProc) {
        d->port.oldWindowProc = d->port.procedure;
        d->port.procedure = &DeviceWindowProc;
    }
}

void DeviceWindow::replaceWindowProcedure(DeviceWindowProcedure procedure)
{
    d->port.procedure = procedure ? procedure : &handleNothing;
}

void DeviceWindow::post(uint32_t message, int32_t wParam, int32_t lParam)
{
    d->port.post(message, wParam, lParam);
}

int32_t DeviceWindow::send(uint32_t message, int32_t wParam, int32_t lParam)
{
    return d->port.procedure(handle(), message, wParam, lParam);
}

void DeviceWindow::deliverPosted()
{
    d->port.deliverPending();
}
