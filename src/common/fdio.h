// Small POSIX file-descriptor helpers shared by the log and the file layer.
#pragma once

#include <string>
#include <string_view>

// Closes a descriptor when it goes out of scope.
class TFd {
public:
    explicit TFd(int Fd) : FFd(Fd) {}
    ~TFd();
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }
    // Closes the descriptor held and takes Fd.
    void Reset(int Fd);
    int Release() {
        const int Fd = FFd;
        FFd = -1;
        return Fd;
    }

private:
    int FFd;
};

// Writes every byte, retrying on EINTR and short writes; false (errno set) on failure.
bool WriteAll(int Fd, std::string_view Bytes);

// Opens Path for appending (created with mode 0666 & ~umask when missing, never through a
// symbolic link, without blocking) and writes Bytes when it is a regular file; false (errno
// set, EINVAL for a FIFO or device) on failure.
bool AppendBytes(const std::string& Path, std::string_view Bytes);
