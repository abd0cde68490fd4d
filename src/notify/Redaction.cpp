// Tavix CallerID: what never reaches the log from the web application's replies and errors.
#include "notify/Redaction.h"

#include <cstring>

namespace {

constexpr size_t kNoMatch = std::string_view::npos;

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// The byte that "%XX" at `at` stands for, or -1.
int encodedByte(std::string_view text, size_t at)
{
    if (at + 2 >= text.size() || text[at] != '%')
        return -1;
    const int high = hexValue(text[at + 1]);
    const int low = hexValue(text[at + 2]);
    return high < 0 || low < 0 ? -1 : high * 16 + low;
}

// Where the secret's bytes from `from` on, each as itself, as %XX or (a blank) as "+", end
// when they start at `at` in `text`; kNoMatch when they do not.
size_t matchEnd(std::string_view text, size_t at, std::string_view secret, size_t from)
{
    for (size_t k = from; k < secret.size(); ++k) {
        if (at >= text.size())
            return kNoMatch;
        const auto c = static_cast<unsigned char>(secret[k]);
        if (encodedByte(text, at) == c) {
            // "%25" may also be a "%" of the secret as saved followed by "25": try both.
            if (c == '%')
                if (const size_t end = matchEnd(text, at + 3, secret, k + 1); end != kNoMatch)
                    return end;
            at += c == '%' ? 1 : 3;
        } else if (static_cast<unsigned char>(text[at]) == c || (c == ' ' && text[at] == '+')) {
            ++at;
        } else {
            return kNoMatch;
        }
    }
    return at;
}

std::string withoutPassword(std::string_view text, std::string_view password)
{
    if (password.empty())
        return std::string(text);
    std::string result;
    result.reserve(text.size());
    for (size_t at = 0; at < text.size();) {
        if (const size_t end = matchEnd(text, at, password, 0); end != kNoMatch) {
            result += Redaction::kPasswordMark;
            at = end;
        } else {
            result += text[at++];
        }
    }
    return result;
}

// Characters that end a URL quoted in a text.
bool endsUrl(char c)
{
    return std::strchr(" \t\r\n\"'<>`", c) != nullptr || c == '\0';
}

// Characters of a URL's scheme and host, before its path.
bool inAuthority(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
           std::strchr(".-_~:[]@%+/", c) != nullptr;
}

std::string withUrlsCut(std::string text, std::string_view path)
{
    if (path.empty())
        return text;
    for (size_t at = text.find(path); at != std::string::npos;
         at = text.find(path, at + path.size())) {
        size_t start = at;
        while (start > 0 && inAuthority(text[start - 1]))
            --start;
        const size_t scheme = text.find("://", start);
        if (scheme == std::string::npos || scheme >= at)
            start = at;
        size_t end = at + path.size();
        if (end < text.size() && (text[end] == '?' || text[end] == '#'))
            while (end < text.size() && !endsUrl(text[end]))
                ++end;
        text.replace(start, end - start, path);
        at = start;
    }
    return text;
}

} // namespace

std::string Redaction::withoutSecrets(std::string_view text, std::string_view password,
                                      std::string_view path)
{
    return withUrlsCut(withoutPassword(text, password), path);
}
