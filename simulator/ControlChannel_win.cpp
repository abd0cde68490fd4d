// Tavix CallerID simulator: the control channel as a named pipe.
#include "simulator/ControlChannel.h"

#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <lmcons.h>
#include <sddl.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <stdexcept>
#include <utility>
#include <vector>

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

// One instance serves a client while the next one waits for the client after it.
constexpr DWORD kInstances = 2;
constexpr DWORD kBufferBytes = 64 * 1024;
// A client that stops reading a long reply must not hold the pipe forever.
constexpr DWORD kClientSendTimeoutMs = 5000;

std::runtime_error pipeError(const std::string& what, const std::string& name)
{
    return std::runtime_error(what + " " + name + ": " + windowsErrorText(GetLastError()));
}

// A protected access list with one entry: full access for the user this process runs as.
// Nobody else, not even an administrator, may connect.
PSECURITY_DESCRIPTOR ownerOnlySecurity(const std::string& name)
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        throw pipeError("cannot find the current user for", name);
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<unsigned char> user(size);
    const BOOL known = GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    char* sid = nullptr;
    if (!known ||
        !ConvertSidToStringSidA(reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid, &sid))
        throw pipeError("cannot find the current user for", name);
    const std::string sddl = std::string("D:P(A;;GA;;;") + sid + ")";
    LocalFree(sid);
    PSECURITY_DESCRIPTOR security = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA(sddl.c_str(), SDDL_REVISION_1,
                                                              &security, nullptr))
        throw pipeError("cannot restrict to the current user", name);
    return security;
}

void closePipe(HANDLE& pipe)
{
    if (pipe != INVALID_HANDLE_VALUE)
        CloseHandle(std::exchange(pipe, INVALID_HANDLE_VALUE));
}

} // namespace

std::string defaultControlAddress()
{
    std::string address = R"(\\.\pipe\tavix-ad101)";
    // Pipe names are machine-wide; the user's name keeps two users' boxes apart. Should it be
    // unknown, the pipe's access list still keeps other users out.
    char user[UNLEN + 1] = {};
    DWORD size = sizeof(user);
    if (GetUserNameA(user, &size) && user[0] != '\0')
        address += std::string("-") + user;
    return address;
}

struct ControlListener::Native
{
    std::string name;
    PSECURITY_DESCRIPTOR security = nullptr;
    HANDLE stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE ioEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    // The instance the next client connects to, and the one being served.
    HANDLE listening = INVALID_HANDLE_VALUE;
    HANDLE client = INVALID_HANDLE_VALUE;

    ~Native()
    {
        closePipe(client);
        closePipe(listening);
        if (stopEvent)
            CloseHandle(stopEvent);
        if (ioEvent)
            CloseHandle(ioEvent);
        LocalFree(security);
    }

    // The first instance fails while any other holds the name, a live box's or not ours.
    HANDLE createInstance(bool first) const
    {
        SECURITY_ATTRIBUTES attributes{sizeof(attributes), security, FALSE};
        return CreateNamedPipeA(
            name.c_str(),
            PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | (first ? FILE_FLAG_FIRST_PIPE_INSTANCE : 0),
            PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS,
            kInstances, kBufferBytes, kBufferBytes, 0, &attributes);
    }

    // Waits for an overlapped operation that `started` on `pipe`, cancelling it after
    // `timeoutMs` or on stop(). Returns ERROR_SUCCESS with the bytes transferred, or the error.
    DWORD finish(HANDLE pipe, OVERLAPPED& overlapped, BOOL started, DWORD timeoutMs,
                 DWORD& transferred) const
    {
        if (!started && GetLastError() != ERROR_IO_PENDING)
            return GetLastError();
        const HANDLE waits[2] = {overlapped.hEvent, stopEvent};
        if (WaitForMultipleObjects(2, waits, FALSE, timeoutMs) != WAIT_OBJECT_0)
            CancelIoEx(pipe, &overlapped);
        // What completed before the cancellation still counts: no byte read is lost.
        return GetOverlappedResult(pipe, &overlapped, &transferred, TRUE) ? ERROR_SUCCESS
                                                                          : GetLastError();
    }

    bool stopping() const { return WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0; }
};

ControlListener::ControlListener(const std::string& address) : m_native(std::make_unique<Native>())
{
    Native& native = *m_native;
    native.name = address;
    if (!native.stopEvent || !native.ioEvent)
        throw pipeError("cannot create the events for", address);
    native.security = ownerOnlySecurity(address);
    native.listening = native.createInstance(true);
    if (native.listening == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
            throw std::runtime_error("another simulated box already answers at " + address);
        throw pipeError("cannot create the pipe", address);
    }
}

ControlListener::~ControlListener() = default;

bool ControlListener::ownsAddress() const
{
    // A pipe's name lasts while one of its instances is open, so nobody can take it over.
    return true;
}

bool ControlListener::accept()
{
    Native& native = *m_native;
    while (!native.stopping()) {
        if (native.listening == INVALID_HANDLE_VALUE)
            native.listening = native.createInstance(false);
        if (native.listening == INVALID_HANDLE_VALUE)
            return false;
        OVERLAPPED overlapped{};
        overlapped.hEvent = native.ioEvent;
        DWORD unused = 0;
        const DWORD error =
            native.finish(native.listening, overlapped,
                          ConnectNamedPipe(native.listening, &overlapped), INFINITE, unused);
        if (error == ERROR_SUCCESS || error == ERROR_PIPE_CONNECTED) {
            // The next client can connect while this one is served, as to a socket's backlog.
            native.client = std::exchange(native.listening, native.createInstance(false));
            return true;
        }
        // A client that came and left before it was seen, or a broken instance: start afresh.
        closePipe(native.listening);
    }
    return false;
}

std::ptrdiff_t ControlListener::receive(char* buffer, size_t size, int timeoutMs)
{
    Native& native = *m_native;
    for (;;) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = native.ioEvent;
        DWORD read = 0;
        const BOOL started =
            ReadFile(native.client, buffer, static_cast<DWORD>(size), nullptr, &overlapped);
        const DWORD error =
            native.finish(native.client, overlapped, started, static_cast<DWORD>(timeoutMs), read);
        if (error == ERROR_BROKEN_PIPE || error == ERROR_PIPE_NOT_CONNECTED)
            return 0;
        if (error != ERROR_SUCCESS)
            return -1;
        if (read > 0)
            return read;
    }
}

bool ControlListener::send(const std::string& text)
{
    Native& native = *m_native;
    for (size_t sent = 0; sent < text.size();) {
        OVERLAPPED overlapped{};
        overlapped.hEvent = native.ioEvent;
        DWORD written = 0;
        const BOOL started =
            WriteFile(native.client, text.data() + sent, static_cast<DWORD>(text.size() - sent),
                      nullptr, &overlapped);
        if (native.finish(native.client, overlapped, started, kClientSendTimeoutMs, written) !=
                ERROR_SUCCESS ||
            written == 0)
            return false;
        sent += written;
    }
    return true;
}

void ControlListener::hangUp()
{
    // Closing, not DisconnectNamedPipe(), which would throw away a reply not read yet.
    closePipe(m_native->client);
}

void ControlListener::stop()
{
    SetEvent(m_native->stopEvent);
}

std::string ControlClient::request(const std::string& request) const
{
    if (!isLocalPipeName(m_address))
        throw ControlError("\"" + m_address +
                           "\" is not a pipe of this machine (\\\\.\\pipe\\...)");
    const auto deadline = std::chrono::steady_clock::now() + kReplyTimeout;
    HANDLE handle = INVALID_HANDLE_VALUE;
    for (;;) {
        // Identification only: a pipe someone else made in the box's name cannot act as us.
        handle = CreateFileA(
            m_address.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
            FILE_FLAG_OVERLAPPED | SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            break;
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND)
            throw ControlError("no simulated AD101 box is running at " + m_address +
                               " (the box starts when a program calls AD101_InitDevice)");
        if (error != ERROR_PIPE_BUSY)
            throw ControlError("cannot reach the simulated AD101 box at " + m_address + ": " +
                               windowsErrorText(error));
        // The box serves one client at a time; wait for its turn.
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            throw ControlError("the simulated AD101 box at " + m_address + " did not answer");
        WaitNamedPipeA(m_address.c_str(), static_cast<DWORD>(left.count()));
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
            throw ControlError("the simulated AD101 box at " + m_address + " did not answer");
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
