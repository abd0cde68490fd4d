// Tavix CallerID: the platform's side of the login store: where the values are kept and what
// keeps them private.
#pragma once

#include <QString>

#include <memory>

class QSettings;
class SettingsError;

namespace SettingsStore {

SettingsError error(const QString& text);

// The store, positioned in the section the program reads and writes.
std::unique_ptr<QSettings> open();
// The same, without the values for every user that open() falls back on.
std::unique_ptr<QSettings> openOwn();
// The value for every user of the computer, or empty.
QString everyonesValue(const QString& key);

// Why a store that Qt reads without an error is still not one to rely on, or empty.
QString whatCannotBeRead(const QSettings& settings);
// Why Qt could not get at the store, for a message.
QString accessProblem(const QSettings& settings);
// Only the user may read what is stored; throws SettingsError when that cannot be made so.
void makePrivate(const QSettings& settings);

} // namespace SettingsStore
