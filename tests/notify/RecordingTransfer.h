// Tavix CallerID tests: an HttpsTransfer whose completions a test can wait for, by request.
#pragma once

#include "notify/HttpsTransfer.h"

#include "HttpsServer.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <utility>

inline std::string urlOf(const HttpsServer& server,
                         const std::string& path = "/page?password=topsecret")
{
    return "https://" + server.host() + path;
}

inline std::string failed(const std::string& description)
{
    return "failed: " + description;
}

class RecordingTransfer
{
  public:
    explicit RecordingTransfer(std::chrono::milliseconds timeout = kRequestTimeout,
                               std::string caFile = {})
        : m_transfer(
              [this](HttpsTransfer::RequestId id, TransferResult result) {
                  std::lock_guard lock(m_mutex);
                  ++m_completions[id];
                  m_results[id] = std::move(result);
                  m_changed.notify_all();
              },
              timeout, std::move(caFile))
    {}

    HttpsTransfer& transfer() { return m_transfer; }

    HttpsTransfer::RequestId start(const std::string& url)
    {
        const HttpsTransfer::RequestId id = m_nextId++;
        m_transfer.start(id, url);
        return id;
    }

    TransferResult wait(HttpsTransfer::RequestId id)
    {
        using namespace std::chrono_literals;
        std::unique_lock lock(m_mutex);
        if (!m_changed.wait_for(lock, 30s, [&] { return m_results.count(id) > 0; })) {
            ADD_FAILURE() << "request " << id << " did not end";
            return {};
        }
        return m_results[id];
    }

    // The whole body, or the failure's description after "failed: ".
    std::string fetch(const std::string& url)
    {
        const TransferResult result = wait(start(url));
        return result.ok ? result.text : failed(result.text);
    }

    int completions(HttpsTransfer::RequestId id)
    {
        std::lock_guard lock(m_mutex);
        return m_completions[id];
    }

  private:
    HttpsTransfer::RequestId m_nextId = 1;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<HttpsTransfer::RequestId, TransferResult> m_results;
    std::map<HttpsTransfer::RequestId, int> m_completions;
    HttpsTransfer m_transfer; // last: gone before what its completions touch
};
