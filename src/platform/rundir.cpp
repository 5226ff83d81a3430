#include "platform/rundir.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "common/errors.h"
#include "common/fdio.h"
#include "common/text.h"
#include "common/utils.h"
#include "platform/files.h"

namespace {

std::string EnvValue(const char* Name) {
    const char* Value = std::getenv(Name);
    return Value != nullptr ? Value : "";
}

std::string PidFilePath(const std::string& RunDir) {
    return RunDir + "/tarno.pid";
}

int ReadPid(int Fd) {
    char Buffer[32] = {};
    const ssize_t Got = pread(Fd, Buffer, sizeof Buffer - 1, 0);
    if (Got <= 0) {
        return 0;
    }
    return StrToIntDef(Trim(std::string_view(Buffer, static_cast<size_t>(Got))), 0);
}

// Creates RunDir when missing: 0755, or 0700 when its parent is writable by everyone (as /tmp).
// There, others could have made it first or planted a link: it must be a real directory of this
// account that nobody else may write into.
void EnsureRunDirectory(const std::string& RunDir) {
    std::string Parent = ExtractFileDir(RunDir);
    if (Parent.empty()) {
        Parent = ".";
    }
    ForceDirectories(Parent);
    struct stat St {};
    const bool Shared = stat(Parent.c_str(), &St) == 0 && (St.st_mode & S_IWOTH) != 0;
    if (mkdir(RunDir.c_str(), Shared ? 0700 : 0755) != 0 && errno != EEXIST) {
        throw EOSError("Cannot create directory \"" + RunDir + "\". " + SysErrorMessage(errno));
    }
    if (!Shared) {
        return;
    }
    const std::string Name = "Run directory \"" + RunDir + "\"";
    if (lstat(RunDir.c_str(), &St) != 0) {
        throw EOSError("Cannot use directory \"" + RunDir + "\". " + SysErrorMessage(errno));
    }
    if (S_ISLNK(St.st_mode)) {
        throw ETarnoError(Name + " is a symbolic link, not a directory of this account");
    }
    if (!S_ISDIR(St.st_mode)) {
        throw ETarnoError(Name + " is not a directory");
    }
    if (St.st_uid != geteuid()) {
        throw ETarnoError(Format(
            "%s is owned by another account (uid %u), not by this one (uid %u)", Name.c_str(),
            static_cast<unsigned>(St.st_uid), static_cast<unsigned>(geteuid())));
    }
    if ((St.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        throw ETarnoError(Name + " is writable by other accounts");
    }
}

} // namespace

std::string FindRunDirectory(const std::string& Option) {
    if (!Option.empty()) {
        return Option;
    }
    if (std::string Env = EnvValue("TARNO_RUNDIR"); !Env.empty()) {
        return Env;
    }
    if (geteuid() == 0) {
        return "/run/tarno";
    }
    if (std::string Runtime = EnvValue("XDG_RUNTIME_DIR"); !Runtime.empty()) {
        return Runtime + "/tarno";
    }
    return "/tmp/tarno-" + std::to_string(geteuid());
}

std::string FindClientRunDirectory(const std::string& Option) {
    if (!Option.empty() || !EnvValue("TARNO_RUNDIR").empty()) {
        return FindRunDirectory(Option);
    }
    // The system's service, when its statistics socket is there.
    struct stat St {};
    if (stat("/run/tarno/ZirInfo", &St) == 0 && S_ISSOCK(St.st_mode)) {
        return "/run/tarno";
    }
    return FindRunDirectory("");
}

TPidFile::TPidFile(const std::string& RunDir) : FPath(PidFilePath(RunDir)) {
    EnsureRunDirectory(RunDir);
    for (;;) {
        TFd Fd(open(FPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644));
        if (Fd.Get() < 0) {
            throw EOSError("Cannot create file \"" + FPath + "\". " + SysErrorMessage(errno));
        }
        if (flock(Fd.Get(), LOCK_EX | LOCK_NB) != 0) {
            const int Error = errno;
            if (Error == EWOULDBLOCK) {
                throw ETarnoError(
                    Format("Tarno service is already running (pid %d, run directory %s)",
                           ReadPid(Fd.Get()), RunDir.c_str()));
            }
            throw EOSError("Cannot lock file \"" + FPath + "\". " + SysErrorMessage(Error));
        }
        // The holder before us may have removed the file after we opened it: lock the file that
        // is under the name now.
        struct stat Held {
        }, Named{};
        if (fstat(Fd.Get(), &Held) != 0 || stat(FPath.c_str(), &Named) != 0 ||
            Held.st_ino != Named.st_ino || Held.st_dev != Named.st_dev) {
            continue;
        }
        const std::string Pid = std::to_string(getpid()) + "\n";
        if (ftruncate(Fd.Get(), 0) != 0 || pwrite(Fd.Get(), Pid.data(), Pid.size(), 0) < 0) {
            throw EOSError("Cannot write file \"" + FPath + "\". " + SysErrorMessage(errno));
        }
        FFd = Fd.Release();
        return;
    }
}

TPidFile::~TPidFile() {
    unlink(FPath.c_str());
    close(FFd);
}

int RunningServicePid(const std::string& RunDir) {
    const TFd Fd(open(PidFilePath(RunDir).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (Fd.Get() < 0) {
        return 0;
    }
    if (flock(Fd.Get(), LOCK_SH | LOCK_NB) == 0) {
        return 0; // nobody holds it: a pidfile left behind
    }
    return ReadPid(Fd.Get());
}
