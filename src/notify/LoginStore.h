// Tavix CallerID: the login details and connector settings in the per-user settings store.
#pragma once

#include <QString>

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

class QSettings;

// The settings store could not be read or written; the message says which and why.
class SettingsError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// Section "CallerID" of the organisation "Tavix" in the native per-user store
// (on Linux $XDG_CONFIG_HOME/Tavix.conf). The file is kept readable by its owner only,
// since it holds a password.
class LoginStore
{
  public:
    static constexpr const char* kOrganisation = "Tavix";
    static constexpr const char* kSection = "CallerID";

    // Everything the program reads, at once.
    struct Values
    {
        QString username;
        QString password;
        QString host;
        QString caFile;
    };

    // Absent values read as empty strings. Throws SettingsError when the store cannot be read:
    // not readable, not a settings file, or a file that is not empty but lacks the section.
    Values read() const;
    QString readValue(const QString& key) const;

    // Saves both, or neither: throws SettingsError saying that nothing was saved, and why.
    void saveLogin(const QString& user, const QString& password);

    // The web application's "host" and "cafile" as the user set them, without the default for
    // every user. Throws SettingsError as read() does.
    struct WebApplication
    {
        QString host;
        QString caFile;
    };
    WebApplication readWebApplication() const;
    // The "host" the installer set for every user (Windows); empty where there is none.
    QString everyonesHost() const;
    // Saves both, or neither (SettingsError); an empty value removes the user's own, so that
    // the default applies again.
    void saveWebApplication(const QString& host, const QString& caFile);
    // Throws SettingsError; a store that cannot be read is left as it is.
    void writeValue(const QString& key, const QString& value);

    // The file behind the store (for messages and tests).
    static QString fileName();

  private:
    // Every value or none, a null one removed; a store that cannot be read is left as it is.
    static void writeValues(const std::vector<std::pair<QString, QString>>& values);
    // Synced, checked and in the section.
    static std::unique_ptr<QSettings> openForReading();
};
