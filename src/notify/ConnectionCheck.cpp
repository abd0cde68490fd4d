// Tavix CallerID: Settings' "Check connection": reaching the web application as a caller's
// request would, without sending a caller.
#include "notify/ConnectionCheck.h"

#include <QString>

#include <exception>
#include <utility>

std::string ConnectionReport::text() const
{
    std::string words;
    if (ok)
        words = "The connection works: " + address +
                " was reached, the secure connection was made and its certificate is trusted. "
                "No caller was sent.";
    else
        words = "The check failed: " + problem;
    if (!subject.empty()) {
        words += "\n\nCertificate: " + subject;
        if (!names.empty())
            words += " (for " + names + ")";
        words += "\nIssued by: " + issuer + "\nValid until: " + expiry;
    }
    if (!ok && !address.empty())
        words += "\nAddress reached: " + address;
    return words;
}

void CancelSignal::cancel()
{
    std::lock_guard lock(m_mutex);
    m_cancelled = true;
    if (m_waker)
        m_waker();
}

bool CancelSignal::cancelled() const
{
    std::lock_guard lock(m_mutex);
    return m_cancelled;
}

void CancelSignal::setWaker(std::function<void()> waker)
{
    std::lock_guard lock(m_mutex);
    m_waker = std::move(waker);
}

std::string timeoutInWords(std::chrono::milliseconds timeout)
{
    const auto ms = timeout.count();
    std::string number = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        while (fraction.back() == '0')
            fraction.pop_back();
        number += "." + fraction;
    }
    return number + (ms == 1000 ? " second" : " seconds");
}

ConnectionReport ConnectionCheck::run(const std::string& host, const std::string& caFile,
                                      std::chrono::milliseconds timeout, CancelSignal& cancel)
{
    // The same rule as the notifier's: nothing but a host and a port is ever connected to.
    const QString setting = QString::fromStdString(host);
    if (const QString problem = ConnectorHost::problem(setting); !problem.isEmpty()) {
        ConnectionReport report;
        report.problem =
            "\"" + host + "\" is not a web application host: " + problem.toStdString() + ".";
        return report;
    }
    return probeConnection(ConnectorHost(setting), caFile, timeout, cancel);
}

ConnectionCheck::ConnectionCheck(std::string host, std::string caFile, Done done,
                                 std::chrono::milliseconds timeout)
    : m_done(std::move(done))
{
    m_thread = std::thread([this, host = std::move(host), caFile = std::move(caFile), timeout] {
        ConnectionReport report;
        try {
            report = run(host, caFile, timeout, m_cancel);
        } catch (const std::exception& error) {
            report.problem = std::string("the check could not run: ") + error.what() + ".";
        }
        std::lock_guard lock(m_doneMutex);
        if (m_done && !m_cancel.cancelled())
            m_done(std::move(report));
    });
}

ConnectionCheck::~ConnectionCheck()
{
    cancel();
    m_thread.join();
}

void ConnectionCheck::cancel()
{
    m_cancel.cancel();
    std::lock_guard lock(m_doneMutex);
    m_done = nullptr;
}
