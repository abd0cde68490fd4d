// Tavix CallerID tests: a local HTTPS server in a process of its own, with a test authority.
#pragma once

#include "TempDir.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// Runs tests/support/https_server.py on 127.0.0.1 with an ephemeral port, as a Linux program on
// either platform. Its certificate is signed by an authority made for this test program
// (caFile()), which nothing else trusts (on Windows: nothing but this process's user, while the
// program runs). The server ends when stopped or when this process does. While a server exists,
// no_proxy keeps loopback requests away from any proxy in the environment.
class HttpsServer
{
  public:
    struct Options
    {
        std::string body = "OK";
        int status = 200;
        std::vector<std::string> headers{}; // extra reply headers, "Name: value"
        std::chrono::milliseconds delay{0}; // before answering
        std::string delayOnly{};            // "key=value": delay only requests with it
        bool reset = false;                 // reset the connection instead of answering
        int largeBodyMiB = 0;               // answer with this many MiB instead of body
        bool untrusted = false;             // a self-signed certificate caFile() did not sign
        bool otherName = false;             // signed by caFile(), for other.example only
        bool expired = false;               // signed by caFile(), expired a day ago
        bool silent = false;                // accepts connections, never answers their TLS
        bool echo = false; // answer with the request as an error page quotes it, then decoded
    };

    // One received request.
    struct Request
    {
        int connection = 0; // 1 for the first connection the server accepted, and so on
        int clientPort = 0;
        std::string method;
        std::string target; // path and query as sent
        std::string path;
        std::vector<std::pair<std::string, std::string>> query; // decoded, in order

        std::vector<std::string> keys() const;
        // The first value of key; throws std::out_of_range when the key is absent.
        const std::string& value(const std::string& key) const;
    };

    // Returns once the server accepts connections; throws std::runtime_error if it cannot start.
    explicit HttpsServer(Options options);
    HttpsServer();
    ~HttpsServer();
    HttpsServer(const HttpsServer&) = delete;
    HttpsServer& operator=(const HttpsServer&) = delete;

    uint16_t port() const { return m_port; }
    std::string host() const { return hostWithPort(m_port); }
    // "name:port" for this machine, as a URL names it.
    static std::string hostWithPort(uint16_t port);
    // The requests received so far, in order.
    std::vector<Request> requests() const;
    void stop();

    // The test authority (PEM), made once per test program.
    static std::string caFile();
    // A port on 127.0.0.1 where nothing listens.
    static uint16_t unusedPort();

  private:
    TempDir m_dir; // the server's options, port, requests and output
    uint16_t m_port = 0;
};
