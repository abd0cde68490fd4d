// Tavix CallerID: what never reaches the log from the web application's replies and errors.
#pragma once

#include <string>
#include <string_view>

namespace Redaction {

// What stands in the log for a removed password.
constexpr std::string_view kPasswordMark = "[password]";

// `text` with the password replaced by kPasswordMark wherever it appears in any form a page
// may quote it in: as saved, percent-encoded (either case of hex digits) and form-encoded
// ("+" for blanks), or any mix of these; and every URL of the page at `path` cut to that path,
// without scheme, host or query. Error pages and debugging pages often quote the request.
std::string withoutSecrets(std::string_view text, std::string_view password, std::string_view path);

} // namespace Redaction
