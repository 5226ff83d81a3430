#include "common/fdio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

TFd::~TFd() {
    if (FFd >= 0) {
        ::close(FFd);
    }
}

void TFd::Reset(int Fd) {
    if (FFd >= 0) {
        ::close(FFd);
    }
    FFd = Fd;
}

bool WriteAll(int Fd, std::string_view Bytes) {
    while (!Bytes.empty()) {
        const ssize_t N = ::write(Fd, Bytes.data(), Bytes.size());
        if (N < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        Bytes.remove_prefix(static_cast<std::size_t>(N));
    }
    return true;
}

bool AppendBytes(const std::string& Path, std::string_view Bytes) {
    // Without blocking on a FIFO planted at the name; only a regular file is written.
    TFd Fd(::open(Path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                  0666));
    if (Fd.Get() < 0) {
        return false;
    }
    struct stat St {};
    if (::fstat(Fd.Get(), &St) != 0) {
        return false;
    }
    if (!S_ISREG(St.st_mode)) {
        errno = EINVAL;
        return false;
    }
    return WriteAll(Fd.Get(), Bytes);
}
