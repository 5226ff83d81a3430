#include "common/security.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

bool GrantEveryoneAccess(const std::string& Path) {
    // O_NOFOLLOW refuses a symbolic link as the last component, so the mode of a file elsewhere
    // cannot be changed through a link planted in a shared directory.
    int Fd = ::open(Path.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (Fd < 0) {
        return false;
    }
    bool Result = false;
    struct stat St {};
    if (::fstat(Fd, &St) == 0 && (S_ISREG(St.st_mode) || S_ISDIR(St.st_mode))) {
        mode_t Wanted = St.st_mode & 07777;
        Wanted |= S_IRGRP | S_IWGRP | S_IROTH | S_IWOTH;
        if (S_ISDIR(St.st_mode)) {
            Wanted |= S_IXGRP | S_IXOTH;
        }
        if (Wanted == (St.st_mode & 07777)) {
            Result = true;
        } else {
            // fchmod does not take a descriptor opened with O_PATH; its /proc name does.
            std::string FdPath = "/proc/self/fd/" + std::to_string(Fd);
            Result = ::chmod(FdPath.c_str(), Wanted) == 0;
        }
    }
    ::close(Fd);
    return Result;
}
