#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <memory>

#include "common/errors.h"
#include "common/fdio.h"
#include "common/text.h"

namespace {
[[noreturn]] void RaiseOpen(const std::string& Path, int Error) {
    throw EOSError("Cannot open file \"" + Path + "\". " + SysErrorMessage(Error));
}
[[noreturn]] void RaiseCreate(const std::string& Path, int Error) {
    throw EOSError("Cannot create file \"" + Path + "\". " + SysErrorMessage(Error));
}

std::string DirectoryOf(const std::string& Path) {
    const auto Slash = Path.find_last_of('/');
    if (Slash == std::string::npos) {
        return ".";
    }
    return Slash == 0 ? "/" : Path.substr(0, Slash);
}

TDateTime StatTimeUtc(const struct stat& St) {
    return UnixToDateTime(St.st_mtim, false);
}

bool MatchesExt(std::string_view Name, std::string_view Ext) {
    if (Ext.empty() || Ext == "*") {
        return true;
    }
    const auto Dot = Name.find_last_of('.');
    return Dot != std::string_view::npos && SameText(Name.substr(Dot + 1), Ext);
}
} // namespace

bool TryReadFileBytes(const std::string& Path, std::string& Bytes) {
    TFd Fd(::open(Path.c_str(), O_RDONLY | O_CLOEXEC));
    if (Fd.Get() < 0) {
        return false;
    }
    Bytes.clear();
    struct stat St {};
    if (::fstat(Fd.Get(), &St) == 0 && St.st_size > 0) {
        Bytes.reserve(static_cast<std::size_t>(St.st_size));
    }
    char Buffer[65536];
    for (;;) {
        const ssize_t N = ::read(Fd.Get(), Buffer, sizeof Buffer);
        if (N < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (N == 0) {
            break;
        }
        Bytes.append(Buffer, static_cast<std::size_t>(N));
    }
    return true;
}

std::string ReadFileBytes(const std::string& Path) {
    std::string Bytes;
    if (!TryReadFileBytes(Path, Bytes)) {
        RaiseOpen(Path, errno);
    }
    return Bytes;
}

void WriteFileAtomically(const std::string& Path, std::string_view Bytes) {
    const std::string Dir = DirectoryOf(Path);
    const auto Slash = Path.find_last_of('/');
    const std::string Base = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
    std::string Temp =
        (Dir == "." && Slash == std::string::npos ? "" : Dir + "/") + "." + Base + ".XXXXXX";
    if (Dir == "/") {
        Temp = "/." + Base + ".XXXXXX";
    }
    std::unique_ptr<char[]> Name(new char[Temp.size() + 1]);
    Temp.copy(Name.get(), Temp.size());
    Name[Temp.size()] = '\0';
    TFd Fd(::mkostemp(Name.get(), O_CLOEXEC));
    if (Fd.Get() < 0) {
        RaiseCreate(Path, errno);
    }
    // Keep the mode of the file being replaced; a new file gets the usual 0666 & ~umask.
    struct stat Old {};
    if (::stat(Path.c_str(), &Old) == 0) {
        ::fchmod(Fd.Get(), Old.st_mode & 07777);
    } else {
        const mode_t Mask = ::umask(0);
        ::umask(Mask);
        ::fchmod(Fd.Get(), 0666 & ~Mask);
    }
    if (!WriteAll(Fd.Get(), Bytes) || ::fsync(Fd.Get()) != 0) {
        const int Error = errno;
        ::unlink(Name.get());
        RaiseCreate(Path, Error);
    }
    if (::close(Fd.Release()) != 0 || ::rename(Name.get(), Path.c_str()) != 0) {
        const int Error = errno;
        ::unlink(Name.get());
        RaiseCreate(Path, Error);
    }
    // Make the rename itself durable.
    TFd DirFd(::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (DirFd.Get() >= 0) {
        ::fsync(DirFd.Get());
    }
}

void AppendToFile(const std::string& Path, std::string_view Bytes) {
    if (!AppendBytes(Path, Bytes)) {
        RaiseOpen(Path, errno);
    }
}

void AppendToFileDurably(const std::string& Path, std::string_view Bytes) {
    struct stat St {};
    const bool Existed = ::lstat(Path.c_str(), &St) == 0;
    AppendToFile(Path, Bytes);
    // fsync flushes the file whichever descriptor it comes through.
    TFd Fd(::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (Fd.Get() < 0 || ::fsync(Fd.Get()) != 0) {
        RaiseOpen(Path, errno);
    }
    // A new file's name must be on disk too.
    if (!Existed) {
        TFd DirFd(::open(DirectoryOf(Path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (DirFd.Get() >= 0) {
            ::fsync(DirFd.Get());
        }
    }
}

std::vector<TFileEntry> ListFiles(const std::string& Dir, std::string_view Ext) {
    std::unique_ptr<DIR, int (*)(DIR*)> D(::opendir(Dir.c_str()), &::closedir);
    if (!D) {
        throw EOSError("Cannot read directory \"" + Dir + "\". " + SysErrorMessage(errno));
    }
    std::vector<TFileEntry> Result;
    const int DirFd = ::dirfd(D.get());
    while (const dirent* E = ::readdir(D.get())) {
        const std::string_view Name(E->d_name);
        if (Name.empty() || Name[0] == '.' || !MatchesExt(Name, Ext)) {
            continue;
        }
        struct stat St {};
        if (::fstatat(DirFd, E->d_name, &St, 0) != 0 || !S_ISREG(St.st_mode)) {
            continue;
        }
        Result.push_back({std::string(Name), static_cast<int64_t>(St.st_size), StatTimeUtc(St)});
    }
    return Result;
}

std::vector<std::string> ListSubdirectories(const std::string& Dir) {
    std::unique_ptr<DIR, int (*)(DIR*)> D(::opendir(Dir.c_str()), &::closedir);
    if (!D) {
        throw EOSError("Cannot read directory \"" + Dir + "\". " + SysErrorMessage(errno));
    }
    std::vector<std::string> Result;
    const int DirFd = ::dirfd(D.get());
    while (const dirent* E = ::readdir(D.get())) {
        if (E->d_name[0] == '.') {
            continue;
        }
        struct stat St {};
        if (::fstatat(DirFd, E->d_name, &St, 0) == 0 && S_ISDIR(St.st_mode)) {
            Result.emplace_back(E->d_name);
        }
    }
    return Result;
}

bool FileExists(const std::string& Path) {
    struct stat St {};
    return ::stat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool GetFileInfo(const std::string& Path, int64_t& Size, TDateTime& TimeUtc) {
    struct stat St {};
    if (::stat(Path.c_str(), &St) != 0) {
        return false;
    }
    Size = static_cast<int64_t>(St.st_size);
    TimeUtc = StatTimeUtc(St);
    return true;
}

bool SetFileTimeUtc(const std::string& Path, TDateTime TimeUtc) {
    if (!std::isfinite(TimeUtc)) {
        return false;
    }
    // Days since 1899-12-30 to seconds since 1970-01-01, milliseconds kept.
    const double Ms = std::round((TimeUtc - 25569.0) * MSecsPerDay);
    const auto TotalMs = static_cast<long long>(Ms);
    long long Secs = TotalMs / 1000;
    long long Rest = TotalMs % 1000;
    if (Rest < 0) {
        Rest += 1000;
        --Secs;
    }
    timespec Times[2];
    Times[0].tv_sec = 0;
    Times[0].tv_nsec = UTIME_OMIT;
    Times[1].tv_sec = static_cast<time_t>(Secs);
    Times[1].tv_nsec = static_cast<long>(Rest * 1000000);
    return ::utimensat(AT_FDCWD, Path.c_str(), Times, 0) == 0;
}

void SetAttributesNormal(const std::string& Path) {
    struct stat St {};
    if (::stat(Path.c_str(), &St) == 0 && (St.st_mode & S_IWUSR) == 0) {
        ::chmod(Path.c_str(), (St.st_mode & 07777) | S_IWUSR);
    }
}

void ForceDirectories(const std::string& Dir) {
    if (Dir.empty()) {
        return;
    }
    struct stat St {};
    if (::stat(Dir.c_str(), &St) == 0) {
        if (S_ISDIR(St.st_mode)) {
            return;
        }
        throw EOSError(SysErrorMessage(ENOTDIR));
    }
    std::string Path;
    std::size_t Pos = 0;
    while (Pos <= Dir.size()) {
        std::size_t Next = Dir.find('/', Pos);
        if (Next == std::string::npos) {
            Next = Dir.size();
        }
        Path = Dir.substr(0, Next);
        Pos = Next + 1;
        if (Path.empty() || Path.back() == '/') {
            continue;
        }
        if (::mkdir(Path.c_str(), 0777) != 0 && errno != EEXIST) {
            throw EOSError(SysErrorMessage(errno));
        }
        if (::stat(Path.c_str(), &St) != 0 || !S_ISDIR(St.st_mode)) {
            throw EOSError(SysErrorMessage(ENOTDIR));
        }
    }
}

bool DeleteFile(const std::string& Path) {
    return ::unlink(Path.c_str()) == 0;
}

void CopyFileReplacing(const std::string& Source, const std::string& Dest) {
    struct stat Src {};
    if (::stat(Source.c_str(), &Src) != 0) {
        RaiseOpen(Source, errno);
    }
    struct stat Dst {};
    if (::stat(Dest.c_str(), &Dst) == 0 && Dst.st_dev == Src.st_dev && Dst.st_ino == Src.st_ino) {
        throw EOSError("Cannot copy file \"" + Source + "\" onto itself");
    }
    WriteFileAtomically(Dest, ReadFileBytes(Source));
    SetFileTimeUtc(Dest, StatTimeUtc(Src));
}

int StandardBiasMinutes() {
    ::tzset();
    return static_cast<int>(::timezone / 60);
}
