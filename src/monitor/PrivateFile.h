// Tavix CallerID: a file only its user may read, for the calls list.
#pragma once

#include <QString>

namespace PrivateFile {

// Makes `file` if it is missing and leaves it readable and writable by the user only (an
// existing one open to others is made so). Never follows a symbolic link. Returns why it could
// not, empty when it could.
QString prepare(const QString& file);

} // namespace PrivateFile
