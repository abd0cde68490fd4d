// Tavix CallerID: the user's private folders for the program's files.
#pragma once

#include <filesystem>
#include <stdexcept>

// No private folder can be found or made for the program's files; the text says which folder
// and what to set or put right.
class UserFolderError : public std::runtime_error
{
  public:
    using std::runtime_error::runtime_error;
};

// Nothing here ever falls back to a folder that other users share, such as /tmp.
namespace UserFolders {

// $XDG_STATE_HOME, else .local/state in the home folder from $HOME, else in the one the user
// database names (an existing folder other than "/"). Only absolute paths count. Throws
// UserFolderError when there is none.
std::filesystem::path stateHome();

// <stateHome()>/tavix, made private to the user (0700) with any missing parents, and checked
// to be a real folder, never a symbolic link, that the user owns. Throws UserFolderError.
std::filesystem::path programFolder();

// $XDG_RUNTIME_DIR, else /run/user/<uid>, whichever first is a folder of the user's that nobody
// else may enter (a symbolic link to one counts), else programFolder(). Throws UserFolderError
// when it comes to programFolder() and that fails.
std::filesystem::path runtimeFolder();

// Linux only (Windows keeps settings in the registry and the lock in runtimeFolder()):
// Where the settings file lives: $XDG_CONFIG_HOME, else .config in the same home folder as
// stateHome()'s. Only absolute paths count. Throws UserFolderError when there is none.
std::filesystem::path configHome();

// The same folder for every start of the program by this user, whatever the environment says:
// /run/user/<uid> when it is the user's own private folder, else .local/state/tavix in the home
// folder from the user database (made private), else programFolder(). Throws UserFolderError.
std::filesystem::path lockFolder();

} // namespace UserFolders
