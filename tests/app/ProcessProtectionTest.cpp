// Tavix CallerID tests: what the process is guarded against before Qt starts.
#include "app/ProcessProtection.h"

#include "TempDir.h"

#include <QCoreApplication>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Runs `check` in a child process of its own, as a fresh program would; its exit status is
// the number of the first failed condition, 0 when all held.
template <typename Check> int inChild(Check check)
{
    const pid_t child = fork();
    if (child == 0)
        _exit(check());
    int status = -1;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// A log at the file-size limit is a full log: the write fails, the program goes on.
TEST(ProcessProtection, TheFileSizeLimitDoesNotEndTheProgram)
{
    TempDir dir;
    const std::string file = (dir / "log").string();
    EXPECT_EQ(inChild([&] {
                  protectProcess();
                  const rlimit limit{16, RLIM_INFINITY};
                  setrlimit(RLIMIT_FSIZE, &limit);
                  const int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
                  const std::string bytes(64, 'x');
                  if (write(fd, bytes.data(), bytes.size()) != 16)
                      return 1;
                  if (write(fd, bytes.data(), bytes.size()) != -1 || errno != EFBIG)
                      return 2;
                  return 0;
              }),
              0);
}

// Qt is asked for its runtime folder as QGuiApplication asks: it makes none in TMPDIR.
TEST(ProcessProtection, QtsRuntimeFolderIsTheProgramsOwnNeverOneInTmp)
{
    TempDir dir;
    EXPECT_EQ(inChild([&] {
                  unsetenv("XDG_RUNTIME_DIR");
                  setenv("TMPDIR", (dir / "tmp").c_str(), 1);
                  setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);
                  std::filesystem::create_directory(dir / "tmp");
                  protectProcess();
                  int argc = 1;
                  char name[] = "test";
                  char* argv[] = {name, nullptr};
                  const QCoreApplication app(argc, argv);
                  const QString runtime =
                      QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
                  if (!std::filesystem::is_empty(dir / "tmp"))
                      return 1;
                  if (runtime.toStdString() != "/run/user/" + std::to_string(getuid()) &&
                      runtime.toStdString() != (dir / "state/tavix").string())
                      return 2;
                  return 0;
              }),
              0);
}

} // namespace
