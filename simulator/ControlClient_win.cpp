// Tavix CallerID simulator: the client side of the box's control pipe.
#include "simulator/ControlClient.h"

#include "src/device/WindowsErrorText.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <utility>

namespace {

// A box that accepted but does not answer is broken; do not hang the caller forever.
constexpr std::chrono::milliseconds kReplyTimeout{10000};

class Pipe
{
  public:
    explicit Pipe(HANDLE handle)
        : m_handle(handle), m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr))
    {}
    ~Pipe()
    {
        CloseHandle(m_handle);
        if (m_event)
            CloseHandle(m_event);
    }
    Pipe(const Pipe&) = delete;
    Pipe& operator=(const Pipe&) = delete;

    // Reads or writes at most `size` bytes, waiting until `deadline`. Returns ERROR_SUCCESS
    // with the bytes transferred, or the error; WAIT_TIMEOUT when the deadline passed.
    template <typename Transfer>
    DWORD transfer(Transfer operation, std::chrono::steady_clock::time_point deadline,
                   DWORD& transferred)
    {
        if (!m_event)
            return GetLastError();
        OVERLAPPED overlapped{};
        overlapped.hEvent = m_event;
        if (!operation(m_handle, &overlapped) && GetLastError() != ERROR_IO_PENDING)
            return GetLastError();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        const bool timedOut =
            WaitForSingleObject(m_event, static_cast<DWORD>(std::max<int64_t>(left.count(), 0))) !=
            WAIT_OBJECT_0;
        if (timedOut)
            CancelIoEx(m_handle, &overlapped);
        if (GetOverlappedResult(m_handle, &overlapped, &transferred, TRUE))
            return ERROR_SUCCESS;
        return timedOut ? WAIT_TIMEOUT : GetLastError();
    }

  private:
    HANDLE m_handle;
    HANDLE m_event;
};

bool isLocalPipeName(const std::string& name)
{
    // Anything else could be an ordinary file, which the request would overwrite, or a
    // pipe on another machine.
    const std::string prefix = R"(\\.\pipe\)";
    return name.size() > prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), name.begin(), [](char a, char b) {
               return a == std::tolower(static_cast<unsigned char>(b));
           });
}

} // namespace

std::string ControlClient::request(const std::string& request) const
{
    if (!isLocalPipeName(m_socketPath))
        throw ControlError("\"" + m_socketPath +
                           "\" is not a pipe of this machine (\\\\.\\pipe\\...)");
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (;;) {
        // Identification only: a pipe someone else made in the box's name cannot act as us.
        handle = CreateFileA(
            m_socketPath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            break;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            throw ControlError("no simulated AD101 box is running at " + m_socketPath +
                               " (the box starts when a program calls AD101_InitDevice)");
        if (error != ERROR_PIPE_BUSY)
            throw ControlError("cannot reach the simulated AD101 box at " + m_socketPath + ": " +
                               windowsErrorText(error));
        // The box serves one client at a time; wait for its turn.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw ControlError("the simulated AD101 box at " + m_socketPath + " did not answer");
        WaitNamedPipeA(m_socketPath.c_str(), static_cast<DWORD>(left.count()));
    }
    Pipe pipe(handle);

    const std::string line = request + '\n';
    for (size_t sent = 0; sent < line.size();) {
        DWORD written = 0;
        const DWORD error = pipe.transfer(
            [&](HANDLE h, OVERLAPPED* o) {
                return WriteFile(h, line.data() + sent, static_cast<DWORD>(line.size() - sent),
                                 nullptr, o);
            },
            deadline, written);
        // The box may refuse an oversized request and hang up before reading all of it;
        // its reply is still waiting to be read.
        if (error != ERROR_SUCCESS || written == 0)
            break;
        sent += written;
    }

    std::string reply;
    char chunk[4096];
    for (;;) {
        DWORD read = 0;
        const DWORD error = pipe.transfer(
            [&](HANDLE h, OVERLAPPED* o) { return ReadFile(h, chunk, sizeof(chunk), nullptr, o); },
            deadline, read);
        if (error == WAIT_TIMEOUT)
            throw ControlError("the simulated AD101 box at " + m_socketPath + " did not answer");
        if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED)
            throw ControlError("the simulated AD101 box hung up without a complete reply");
        if (error != ERROR_SUCCESS)
            throw ControlError("lost the connection to the simulated AD101 box: " +
                               windowsErrorText(error));
        reply.append(chunk, read);
        const size_t end = reply.find('\n');
        if (end != std::string::npos)
            return reply.substr(0, end);
    }
}
