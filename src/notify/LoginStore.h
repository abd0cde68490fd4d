// Tavix CallerID: the login details and connector settings in the per-user settings store.
#pragma once

#include <QString>

#include <stdexcept>

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

    // Absent values read as empty strings. Throws SettingsError.
    QString readValue(const QString& key) const;
    // Throws SettingsError.
    void writeValue(const QString& key, const QString& value);

    // The file behind the store (for messages and tests).
    static QString fileName();
};
