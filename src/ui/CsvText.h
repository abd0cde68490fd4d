// Tavix CallerID: rows of text as a CSV file.
#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

// RFC 4180: comma-separated, CR LF line ends, a field in double quotes (its quotes doubled) when
// it holds a comma, a quote, a line break or blanks at either end. UTF-8 with a byte-order mark,
// which spreadsheet programs need to read it as UTF-8. A caller's name comes from the telephone
// line: a field that a spreadsheet would take for a formula gets a leading apostrophe.
QByteArray csvText(const QList<QStringList>& rows);
