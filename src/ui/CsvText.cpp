// Tavix CallerID: rows of text as a CSV file.
#include "ui/CsvText.h"

#include <QRegularExpression>

namespace {

QString csvField(QString field)
{
    // "+44 20 7946 0000" is a number, not a formula: left as it is.
    static const QRegularExpression plainNumber(QStringLiteral("^[+-]?[0-9 ]+$"));
    if (!field.isEmpty() && QStringLiteral("=+-@\t\r").contains(field.front()) &&
        !plainNumber.match(field).hasMatch())
        field.prepend(QLatin1Char('\''));
    const bool quoted = field.contains(QLatin1Char(',')) || field.contains(QLatin1Char('"')) ||
                        field.contains(QLatin1Char('\n')) || field.contains(QLatin1Char('\r')) ||
                        field.startsWith(QLatin1Char(' ')) || field.endsWith(QLatin1Char(' '));
    if (!quoted)
        return field;
    field.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + field + QLatin1Char('"');
}

} // namespace

QByteArray csvText(const QList<QStringList>& rows)
{
    QString text;
    for (const QStringList& row : rows) {
        QStringList fields;
        fields.reserve(row.size());
        for (const QString& field : row)
            fields.append(csvField(field));
        text += fields.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    }
    return QByteArrayLiteral("\xEF\xBB\xBF") + text.toUtf8();
}
