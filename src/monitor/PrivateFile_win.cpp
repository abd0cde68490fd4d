// Tavix CallerID: a file only its user may read, for the calls list.
#include "monitor/PrivateFile.h"

// The program's folder under %LOCALAPPDATA% is the user's own already; SQLite makes the file.
QString PrivateFile::prepare(const QString& file)
{
    (void)file;
    return {};
}
