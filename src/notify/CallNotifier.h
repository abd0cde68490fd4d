// Tavix CallerID: the web notification of an incoming caller ID.
#pragma once

#include "notify/HttpsTransfer.h"

#include <QString>

#include <chrono>
#include <string>

class ActivityLog;

// A reserved example name: each shop sets its own with the settings key "host".
constexpr const char* kDefaultConnectorHost = "tavix.example.com";

// Builds the connector request for a caller ID, sends it and logs the reply or the error.
class CallNotifier
{
public:
    // host: the connector host, optionally with ":port".
    CallNotifier(const ActivityLog& log, std::string host, std::string caFile = {},
                 std::chrono::milliseconds timeout = kRequestTimeout);
    ~CallNotifier();

    // callerID: the caller-ID field (cut at its first NUL for the URL); line: the 0-based line
    // index as decimal text. Logs one entry for the outcome; only a log failure while logging
    // an error escapes (as LogError).
    void SendCall(const std::string& callerID, const std::string& line, const QString& user,
                  const QString& password);

    // The request URL, every query value percent-encoded. Throws std::invalid_argument for a
    // line that is not a signed 16-bit number and std::out_of_range when it or its successor
    // does not fit one.
    std::string connectorUrl(const std::string& callerID, const std::string& line,
                             const QString& user, const QString& password) const;

private:
    const ActivityLog& m_log;
    std::string m_host;
    HttpsTransfer m_transfer;
};
