// Tavix CallerID: what an error code of Windows means, for messages.
#include "platform/WindowsErrorText.h"

#include <windows.h>

#include <winhttp.h>

#include <map>

namespace {

const std::map<unsigned long, const char*>& ownWords()
{
    static const std::map<unsigned long, const char*> words = {
        {ERROR_WINHTTP_NAME_NOT_RESOLVED, "the server's name was not found"},
        {ERROR_WINHTTP_CANNOT_CONNECT, "nothing answered at the server's address and port"},
        {ERROR_WINHTTP_TIMEOUT, "the server did not answer in time"},
        {ERROR_WINHTTP_CONNECTION_ERROR, "the connection to the server was reset"},
        {ERROR_WINHTTP_INVALID_SERVER_RESPONSE, "the server's answer is not a valid reply"},
        {ERROR_WINHTTP_OPERATION_CANCELLED, "the request was cancelled"},
        {ERROR_WINHTTP_INVALID_URL, "the address is not a valid URL"},
        {ERROR_WINHTTP_UNRECOGNIZED_SCHEME, "the address does not start with https://"},
        {ERROR_WINHTTP_SECURE_FAILURE, "the server's certificate is not valid or not trusted"},
        {ERROR_WINHTTP_SECURE_INVALID_CA,
         "the server's certificate comes from an authority that is not trusted"},
        {ERROR_WINHTTP_SECURE_CERT_CN_INVALID, "the server's certificate is for another name"},
        {ERROR_WINHTTP_SECURE_CERT_DATE_INVALID,
         "the server's certificate has expired or is not valid yet"},
        {ERROR_WINHTTP_SECURE_CERT_REVOKED, "the server's certificate was revoked"},
        {ERROR_WINHTTP_SECURE_CERT_REV_FAILED,
         "whether the server's certificate was revoked could not be checked"},
        {ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED, "the server asks for a client certificate"},
        {ERROR_FILE_NOT_FOUND, "the file was not found"},
        {ERROR_PATH_NOT_FOUND, "a folder on the way does not exist"},
        {ERROR_ACCESS_DENIED, "access is denied"},
        {ERROR_SHARING_VIOLATION, "another program has the file open"},
        {ERROR_LOCK_VIOLATION, "another program has locked the file"},
        {ERROR_WRITE_PROTECT, "the disk is write-protected"},
        {ERROR_HANDLE_DISK_FULL, "the disk is full"},
        {ERROR_DISK_FULL, "the disk is full"},
        {ERROR_INVALID_NAME, "the name is not a valid file name"},
        {ERROR_MOD_NOT_FOUND, "the library, or one it needs, was not found"},
        {ERROR_PROC_NOT_FOUND, "the entry was not found"},
        {ERROR_BAD_EXE_FORMAT, "the file is not a library for this program (32-bit and 64-bit "
                               "cannot be mixed)"},
        {ERROR_BROKEN_PIPE, "the other end closed the pipe"},
        {ERROR_PIPE_BUSY, "the pipe is busy"},
        {ERROR_NO_DATA, "the pipe is being closed"},
    };
    return words;
}

std::string formatted(unsigned long code, void* module)
{
    char text[512] = {};
    const DWORD source = module ? FORMAT_MESSAGE_FROM_HMODULE : FORMAT_MESSAGE_FROM_SYSTEM;
    DWORD length = FormatMessageA(source | FORMAT_MESSAGE_IGNORE_INSERTS, module, code, 0, text,
                                  sizeof text - 1, nullptr);
    // Without the line break and the full stop Windows ends its texts with.
    while (length > 0 &&
           (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == '.'))
        --length;
    return std::string(text, length);
}

} // namespace

std::string windowsErrorText(unsigned long code, void* module)
{
    const std::string number = "error " + std::to_string(code);
    if (const auto own = ownWords().find(code); own != ownWords().end())
        return std::string(own->second) + " (" + number + ")";
    std::string text = module ? formatted(code, module) : std::string();
    if (text.empty())
        text = formatted(code, nullptr);
    return text.empty() ? number : text + " (" + number + ")";
}
