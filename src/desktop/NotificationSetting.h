// Tavix CallerID: whether each caller ID gets a desktop notification.
#pragma once

class LoginStore;

// The key "notifications" in section [CallerID] of the settings store: on unless it says so.
class NotificationSetting
{
  public:
    static constexpr const char* kKey = "notifications";

    // On when the key is not there, and when the store cannot be read (start-up says why).
    static bool read(const LoginStore& store);
    // Throws SettingsError.
    static void write(LoginStore& store, bool on);
};
