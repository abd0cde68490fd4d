// Tavix CallerID: the stand-in for a window's message queue.
#include "monitor/MessagePort.h"

#include <QMetaObject>

MessagePort::MessagePort(QObject* parent) : QObject(parent)
{
    m_abi.magic = AD101_PORT_MAGIC;
    m_abi.context = this;
    m_abi.post = &MessagePort::postFromLibrary;
}

MessagePort::~MessagePort()
{
    // A library that still holds the handle must not reach a dead object.
    std::lock_guard lock(m_mutex);
    m_abi.magic = 0;
    m_abi.context = nullptr;
}

MessagePort* MessagePort::fromHandle(AD101WindowHandle window)
{
    auto* abi = reinterpret_cast<AD101MessagePort*>(window);
    if (!abi || abi->magic != AD101_PORT_MAGIC)
        return nullptr;
    return static_cast<MessagePort*>(abi->context);
}

void MessagePort::postFromLibrary(void* context, uint32_t message, int32_t wParam, int32_t lParam)
{
    if (context)
        static_cast<MessagePort*>(context)->post(message, wParam, lParam);
}

void MessagePort::post(uint32_t message, int32_t wParam, int32_t lParam)
{
    bool wake = false;
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back({message, wParam, lParam});
        wake = !m_wakeScheduled;
        m_wakeScheduled = true;
    }
    // One queued wake-up per batch; invokeMethod only posts an event.
    if (wake)
        QMetaObject::invokeMethod(this, &MessagePort::deliverPending, Qt::QueuedConnection);
}

bool MessagePort::takeNext(Message& next)
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

void MessagePort::deliverPending()
{
    // One message at a time: a handler that runs a nested event loop still sees the rest
    // of the queue in order.
    Message next;
    while (takeNext(next))
        m_windowProc(handle(), next.message, next.wParam, next.lParam);
}

size_t MessagePort::pendingCount() const
{
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

WindowProc MessagePort::setWindowProc(WindowProc procedure)
{
    WindowProc previous = m_windowProc;
    m_windowProc = procedure ? procedure : &MessagePort::defaultWindowProc;
    return previous;
}

int32_t MessagePort::defaultWindowProc(AD101WindowHandle, uint32_t, int32_t, int32_t) { return 0; }
