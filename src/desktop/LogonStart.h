// Tavix CallerID: starting the program when the user logs on.
#pragma once

#include <QString>
#include <QStringList>

#include <stdexcept>
#include <utility>

// The user's entry could not be written or removed; the message says which and why.
class LogonStartError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// The user's own entry that starts the program at log-on, which the program writes and removes:
// on Linux the XDG autostart file $XDG_CONFIG_HOME/autostart/tavix-callerid.desktop (default
// ~/.config), on Windows the value "Tavix CallerID" under
// HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\Run. On Windows it also tells
// whether the installer's machine-wide entry, of the same name under HKEY_LOCAL_MACHINE, starts
// the program for every user already.
class LogonStart
{
  public:
    // The installer's name for its Run value; the user's own has the same.
    static constexpr const char* kRunValueName = "Tavix CallerID";
    static constexpr const char* kAutostartFileName = "tavix-callerid.desktop";

    // Where the entries are. Linux: `user` is the autostart file; there is no machine-wide one.
    // Windows: registry keys in QSettings' notation ("HKEY_CURRENT_USER\\...\\Run"), each
    // machine-wide key read in the 32-bit and the 64-bit view.
    struct Places
    {
        QString user;
        QStringList machine;
    };
    // The system's own places, as the environment has them now.
    static Places systemPlaces();

    // `program`: the absolute path of the program to start.
    explicit LogonStart(QString program, Places places = systemPlaces())
        : m_program(std::move(program)), m_places(std::move(places))
    {}

    // The user's own entry is there (and not switched off by the desktop's own settings).
    bool isEnabled() const;
    // A machine-wide entry starts the program for every user.
    bool startsForEveryone() const;
    // Writes or removes the user's entry. Throws LogonStartError saying what and why.
    void setEnabled(bool enabled);

    const QString& program() const { return m_program; }
    const Places& places() const { return m_places; }

  private:
    QString m_program;
    Places m_places;
};
