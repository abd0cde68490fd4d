// Tavix CallerID: the end of a Windows session closes the program the way the user would.
#include "app/TerminationSignals.h"

#include <QCoreApplication>

// Windows ends a session with WM_QUERYENDSESSION and WM_ENDSESSION to every top-level window.
// Qt answers the latter by emitting aboutToQuit right there, after which Windows may end the
// process at any moment: so the normal shutdown (LED off, device freed) runs inside it. At an
// ordinary end of the program the shutdown has run already, and running it again does nothing.
TerminationSignals::TerminationSignals(std::function<void()> handler, QObject* parent)
    : QObject(parent), m_onSignal(std::move(handler))
{
    connect(QCoreApplication::instance(), &QCoreApplication::aboutToQuit, this, [this] {
        if (m_onSignal)
            m_onSignal();
    });
}

TerminationSignals::~TerminationSignals() = default;
