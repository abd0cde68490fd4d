// Tavix CallerID: whole appends with one write() each.
#include "platform/AppendFile.h"

#include <cerrno>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kPrivateFile = S_IRUSR | S_IWUSR;

[[noreturn]] void fail(const std::string& reason)
{
    throw AppendError(reason);
}

constexpr const char* kNoRoom = "the disk is full or the file has reached its size limit";

// A file at its size limit (with SIGXFSZ ignored the system says EFBIG) is full as a disk is.
[[noreturn]] void failWrite(int error)
{
    if (error == ENOSPC || error == EFBIG || error == EDQUOT)
        fail(std::string(kNoRoom) + " (" + std::strerror(error) + ")");
    fail(std::strerror(error));
}

class Descriptor
{
  public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor()
    {
        if (m_fd >= 0)
            close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;

    int get() const { return m_fd; }
    // Closes now, so that an error the system reports only at close is seen.
    int release()
    {
        const int result = close(m_fd);
        m_fd = -1;
        return result;
    }

  private:
    int m_fd;
};

} // namespace

void AppendFile::appendWhole(const std::filesystem::path& file, std::string_view bytes)
{
    // A link is refused, as a folder of another user's is: whoever planted it chose the file.
    Descriptor fd(
        open(file.c_str(),
             O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY | O_NONBLOCK,
             kPrivateFile));
    if (fd.get() < 0 && errno == ELOOP)
        fail("it is a symbolic link, which is never followed: remove it");
    if (fd.get() < 0)
        fail(std::strerror(errno));
    struct stat before
    {
    };
    if (fstat(fd.get(), &before) != 0)
        fail(std::strerror(errno));
    // Only a regular file has a size to go back to and permissions of its own: a device such
    // as /dev/null is written as it is.
    const bool regular = S_ISREG(before.st_mode);
    if (regular && (before.st_mode & (S_IRWXG | S_IRWXO)) != 0 &&
        fchmod(fd.get(), kPrivateFile) != 0)
        fail(std::string("it cannot be made private: ") + std::strerror(errno));

    const ssize_t written = write(fd.get(), bytes.data(), bytes.size());
    if (written < 0)
        failWrite(errno);
    if (static_cast<size_t>(written) != bytes.size()) {
        if (regular && ftruncate(fd.get(), before.st_size) != 0)
            fail("only part of an entry fitted, and it cannot be removed: " +
                 std::string(std::strerror(errno)));
        fail(kNoRoom);
    }
    if (fd.release() != 0)
        fail(std::strerror(errno));
}
