#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>

#include "common/errors.h"
#include "common/fdio.h"
#include "common/text.h"
#include "platform/dirsync.h"

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

// The extension is a wildcard pattern, as the enumeration "*." + Ext takes it: "vrk", "v*" or
// "vr?". "*" (or nothing) takes every file, with or without a dot. Made once per listing.
class TExtMatcher {
public:
    explicit TExtMatcher(std::string_view Ext)
        : FAll(Ext.empty() || Ext == "*"), FPattern("*." + std::string(Ext)),
          FPlain(Ext.find_first_of("*?") == std::string_view::npos) {}

    bool operator()(std::string_view Name) const {
        if (FAll) {
            return true;
        }
        // "*.ext" without other wildcards: the name ends with ".ext", case ignored.
        if (FPlain) {
            const std::string_view Tail = std::string_view(FPattern).substr(1);
            return Name.size() >= Tail.size() &&
                   SameText(Name.substr(Name.size() - Tail.size()), Tail);
        }
        return MatchesWildcard(Name, FPattern);
    }

private:
    bool FAll;
    std::string FPattern;
    bool FPlain;
};
} // namespace

namespace {

std::atomic<TFileFaults*> InstalledFaults{nullptr};

// 0, or the errno a test's fault seam gives the operation (errno is set to it too).
int InjectedFault(TFileOp Op, const std::string& Path) {
    TFileFaults* Faults = InstalledFaults.load(std::memory_order_relaxed);
    if (Faults == nullptr) [[likely]] {
        return 0;
    }
    const int Error = Faults->Before(Op, Path);
    if (Error != 0) {
        errno = Error;
    }
    return Error;
}

// Why an input could not be opened: the system's message, or one of these for what the file
// layer refuses itself.
constexpr int NotRegular = -1;
constexpr int IsLink = -2;

std::string OpenErrorText(int Error) {
    if (Error == NotRegular) {
        return "it is not a regular file";
    }
    if (Error == IsLink) {
        return "it is a symbolic link";
    }
    return SysErrorMessage(Error);
}

// Opens the regular file Path for reading without following a link at its name and without
// blocking on a FIFO or device; St gets its fstat. 0, or the error (errno or one above).
int OpenRegular(const std::string& Path, TFd& Fd, struct stat& St) {
    Fd.Reset(::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (Fd.Get() < 0) {
        const int Error = errno;
        struct stat Link {};
        return Error == ELOOP && ::lstat(Path.c_str(), &Link) == 0 && S_ISLNK(Link.st_mode) ? IsLink
                                                                                            : Error;
    }
    if (::fstat(Fd.Get(), &St) != 0) {
        return errno;
    }
    return S_ISREG(St.st_mode) ? 0 : NotRegular;
}

// Adds the owner's write bit to the open file of status St when it is missing; errors ignored.
void AddOwnerWriteBit(int Fd, const struct stat& St) {
    if ((St.st_mode & S_IWUSR) == 0) {
        ::fchmod(Fd, (St.st_mode & 07777) | S_IWUSR);
    }
}

// Reads the regular file opened as Fd, whose fstat is St, up to the size it had then. 0, or the
// error.
int ReadOpened(const TFd& Fd, const struct stat& St, std::string& Bytes) {
    Bytes.resize(static_cast<std::size_t>(St.st_size));
    std::size_t Got = 0;
    while (Got < Bytes.size()) {
        const ssize_t N = ::read(Fd.Get(), Bytes.data() + Got, Bytes.size() - Got);
        if (N < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int Error = errno;
            Bytes.clear();
            return Error;
        }
        if (N == 0) {
            break;
        }
        Got += static_cast<std::size_t>(N);
    }
    Bytes.resize(Got);
    return 0;
}

// Reads the regular file Path up to the size it has when opened. 0, or the error.
int ReadRegular(const std::string& Path, std::string& Bytes, struct stat& St) {
    Bytes.clear();
    TFd Fd(-1);
    if (const int Error = OpenRegular(Path, Fd, St); Error != 0) {
        return Error;
    }
    return ReadOpened(Fd, St, Bytes);
}

[[noreturn]] void RaiseRead(const std::string& Path, int Error) {
    throw EOSError("Cannot open file \"" + Path + "\". " + OpenErrorText(Error));
}

mode_t CurrentUmask() {
    const mode_t Mask = ::umask(0);
    ::umask(Mask);
    return Mask;
}

constexpr std::string_view TempPrefix = ".tarno-";

bool IsTempChar(char C) {
    return (C >= 'a' && C <= 'z') || (C >= 'A' && C <= 'Z') || (C >= '0' && C <= '9');
}

// Writes Bytes to a new temporary file in Path's directory and renames it over Path; the file
// gets Path's permission bits when a regular file stands there, else the default mode, and the
// modification time Time when given.
void ReplaceAtomically(const std::string& Path, std::string_view Bytes, const timespec* Time) {
    const std::string Dir = DirectoryOf(Path);
    const bool Bare = Path.find('/') == std::string::npos;
    std::string Temp = (Bare ? std::string() : (Dir == "/" ? Dir : Dir + "/")) +
                       std::string(TempPrefix) + "XXXXXX";
    if (const int Error = InjectedFault(TFileOp::Write, Temp); Error != 0) {
        RaiseCreate(Path, Error);
    }
    TFd Fd(::mkostemp(Temp.data(), O_CLOEXEC));
    if (Fd.Get() < 0) {
        RaiseCreate(Path, errno);
    }
    // Keep the permission bits of the regular file being replaced, never setuid, setgid or
    // sticky and never those of what a link points to; a new file gets 0666 & ~umask.
    struct stat Old {};
    const mode_t Mode = ::lstat(Path.c_str(), &Old) == 0 && S_ISREG(Old.st_mode)
                            ? (Old.st_mode & 0777)
                            : (0666 & ~CurrentUmask());
    bool Ok = ::fchmod(Fd.Get(), Mode) == 0 && InjectedFault(TFileOp::Write, Temp) == 0 &&
              WriteAll(Fd.Get(), Bytes);
    if (Ok && Time != nullptr) {
        const timespec Times[2] = {{0, UTIME_OMIT}, *Time};
        Ok = ::futimens(Fd.Get(), Times) == 0;
    }
    Ok = Ok && InjectedFault(TFileOp::Sync, Temp) == 0 && ::fsync(Fd.Get()) == 0;
    int Error = Ok ? 0 : errno;
    if (::close(Fd.Release()) != 0 && Ok) {
        Ok = false;
        Error = errno;
    }
    if (Ok &&
        (InjectedFault(TFileOp::Rename, Path) != 0 || ::rename(Temp.c_str(), Path.c_str()) != 0)) {
        Ok = false;
        Error = errno;
    }
    if (!Ok) {
        ::unlink(Temp.c_str());
        RaiseCreate(Path, Error);
    }
    ObserveFileSync("rename", Path);
    // Make the rename itself durable, now or at the end of the batch this thread is in.
    SyncOrDeferDirectory(Dir);
}

} // namespace

bool TryReadFileBytes(const std::string& Path, std::string& Bytes, std::string* Error) {
    struct stat St {};
    const int Code = ReadRegular(Path, Bytes, St);
    if (Code != 0) {
        if (Error != nullptr) {
            *Error = OpenErrorText(Code);
        }
        errno = Code > 0 ? Code : (Code == IsLink ? ELOOP : EINVAL);
    }
    return Code == 0;
}

void ReadFileInLineBlocks(const std::string& Path,
                          const std::function<void(std::string_view Piece)>& Fn) {
    constexpr std::size_t BlockSize = std::size_t{1} << 18;
    TFd Fd(-1);
    struct stat St {};
    if (const int Error = OpenRegular(Path, Fd, St); Error != 0) {
        RaiseRead(Path, Error);
    }
    auto Left = static_cast<std::size_t>(St.st_size);
    std::string Buffer(std::min(Left, BlockSize), '\0');
    std::size_t Kept = 0; // bytes of a line begun in the block before
    for (;;) {
        if (Kept == Buffer.size() && Left > 0) {
            Buffer.resize(std::min(Buffer.size() + Left, Buffer.size() * 2));
        }
        ssize_t N = 0;
        if (Left > 0) {
            N = ::read(Fd.Get(), Buffer.data() + Kept, std::min(Buffer.size() - Kept, Left));
            if (N < 0) {
                if (errno == EINTR) {
                    continue;
                }
                RaiseRead(Path, errno);
            }
        }
        const std::size_t Size = Kept + static_cast<std::size_t>(N);
        if (N == 0) {
            if (Size > 0) {
                Fn(std::string_view(Buffer.data(), Size));
            }
            return;
        }
        Left -= static_cast<std::size_t>(N);
        // The piece ends after the last LF, or after the last CR whose next byte is read.
        std::size_t Cut = Size;
        while (Cut > 0 && Buffer[Cut - 1] != '\n' && (Buffer[Cut - 1] != '\r' || Cut == Size)) {
            --Cut;
        }
        if (Cut > 0) {
            Fn(std::string_view(Buffer.data(), Cut));
            std::memmove(Buffer.data(), Buffer.data() + Cut, Size - Cut);
        }
        Kept = Size - Cut;
    }
}

std::string ReadFileBytes(const std::string& Path) {
    std::string Bytes;
    struct stat St {};
    if (const int Error = ReadRegular(Path, Bytes, St); Error != 0) {
        RaiseRead(Path, Error);
    }
    return Bytes;
}

void WriteFileAtomically(const std::string& Path, std::string_view Bytes) {
    ReplaceAtomically(Path, Bytes, nullptr);
}

bool IsAtomicWriteTempName(std::string_view Name) {
    if (Name.size() != TempPrefix.size() + 6 || !Name.starts_with(TempPrefix)) {
        return false;
    }
    Name.remove_prefix(TempPrefix.size());
    return std::all_of(Name.begin(), Name.end(), IsTempChar);
}

void AppendToFile(const std::string& Path, std::string_view Bytes) {
    if (InjectedFault(TFileOp::Write, Path) != 0 || !AppendBytes(Path, Bytes)) {
        RaiseOpen(Path, errno);
    }
}

void AppendToFileDurably(const std::string& Path, std::string_view Bytes) {
    // What is appended durably may record files replaced before it: they go to disk first.
    SyncDeferredDirectories();
    struct stat St {};
    const bool Existed = ::lstat(Path.c_str(), &St) == 0;
    AppendToFile(Path, Bytes);
    // fsync flushes the file whichever descriptor it comes through.
    TFd Fd(::open(Path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (InjectedFault(TFileOp::Sync, Path) != 0 || Fd.Get() < 0 || ::fsync(Fd.Get()) != 0) {
        RaiseOpen(Path, errno);
    }
    // A new file's name must be on disk too.
    if (!Existed) {
        SyncDirectoryNow(DirectoryOf(Path));
    }
}

void SyncDirectoryNow(const std::string& Dir) {
    TFd DirFd(::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    int Error = DirFd.Get() < 0 ? errno : 0;
    if (Error == ENOENT) {
        return;
    }
    if (Error == 0) {
        Error = InjectedFault(TFileOp::Sync, Dir);
    }
    if (Error == 0 && ::fsync(DirFd.Get()) != 0) {
        Error = errno;
    }
    if (Error != 0) {
        throw EOSError("Cannot sync directory \"" + Dir + "\". " + SysErrorMessage(Error));
    }
}

namespace {

// The entry's own status: a link is seen as a link.
bool EntryStat(int DirFd, const char* Name, struct stat& St) {
    return ::fstatat(DirFd, Name, &St, AT_SYMLINK_NOFOLLOW) == 0;
}

// Calls Visit with every entry of the open directory DirFd, in the directory's order, as readdir
// would give them. The entries are read in blocks straight from the system: readdir takes a lock
// for every entry, which a listing of many files pays for each.
template <typename TVisit>
void ForEachEntry(int DirFd, TVisit&& Visit) {
    constexpr std::size_t BlockSize = 32 * 1024;
    const auto Block = std::make_unique_for_overwrite<char[]>(BlockSize);
    while (true) {
        const ssize_t Read = ::getdents64(DirFd, Block.get(), BlockSize);
        if (Read <= 0) {
            return; // the end, or an error that ends the listing as it ends readdir's
        }
        for (ssize_t At = 0; At < Read;) {
            const auto* E = reinterpret_cast<const dirent64*>(Block.get() + At);
            At += E->d_reclen;
            if (E->d_ino != 0) { // a deleted entry, which readdir skips too
                Visit(*E);
            }
        }
    }
}

using TDirHandle = std::unique_ptr<DIR, int (*)(DIR*)>;

TDirHandle OpenDirectory(const std::string& Dir) {
    TDirHandle D(::opendir(Dir.c_str()), &::closedir);
    if (!D) {
        throw EOSError("Cannot read directory \"" + Dir + "\". " + SysErrorMessage(errno));
    }
    return D;
}

} // namespace

void ForEachFile(const std::string& Dir, std::string_view Ext, const TFileVisitor& Visit,
                 std::vector<std::string>* SkippedLinks) {
    const TDirHandle D = OpenDirectory(Dir);
    const TExtMatcher Matches(Ext);
    const int DirFd = ::dirfd(D.get());
    ForEachEntry(DirFd, [&](const dirent64& E) {
        const std::string_view Name(E.d_name);
        if (Name.empty() || Name[0] == '.') {
            return;
        }
        if (E.d_type == DT_LNK) {
            if (SkippedLinks != nullptr) {
                SkippedLinks->emplace_back(Name);
            }
            return;
        }
        if ((E.d_type != DT_REG && E.d_type != DT_UNKNOWN) || !Matches(Name)) {
            return;
        }
        struct stat St {};
        if (!EntryStat(DirFd, E.d_name, St)) {
            return;
        }
        if (S_ISLNK(St.st_mode) && SkippedLinks != nullptr) {
            SkippedLinks->emplace_back(Name);
        }
        if (S_ISREG(St.st_mode)) {
            Visit(Name, static_cast<int64_t>(St.st_size), StatTimeUtc(St));
        }
    });
}

std::vector<TFileEntry> ListFiles(const std::string& Dir, std::string_view Ext,
                                  std::vector<std::string>* SkippedLinks) {
    std::vector<TFileEntry> Result;
    ForEachFile(
        Dir, Ext,
        [&](std::string_view Name, int64_t Size, TDateTime TimeUtc) {
            Result.push_back({std::string(Name), Size, TimeUtc});
        },
        SkippedLinks);
    return Result;
}

int RemoveLeftTemporaries(const std::string& Dir, TDateTime OlderThanUtc) {
    std::unique_ptr<DIR, int (*)(DIR*)> D(::opendir(Dir.empty() ? "." : Dir.c_str()), &::closedir);
    if (!D) {
        return -1;
    }
    const int DirFd = ::dirfd(D.get());
    int Removed = 0;
    while (const dirent* E = ::readdir(D.get())) {
        struct stat St {};
        if (!IsAtomicWriteTempName(E->d_name) ||
            ::fstatat(DirFd, E->d_name, &St, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(St.st_mode) ||
            StatTimeUtc(St) >= OlderThanUtc) {
            continue;
        }
        if (::unlinkat(DirFd, E->d_name, 0) == 0) {
            ++Removed;
        }
    }
    return Removed;
}

std::vector<std::string> ListSubdirectories(const std::string& Dir) {
    const TDirHandle D = OpenDirectory(Dir);
    std::vector<std::string> Result;
    const int DirFd = ::dirfd(D.get());
    while (const dirent* E = ::readdir(D.get())) {
        if (E->d_name[0] == '.' || (E->d_type != DT_DIR && E->d_type != DT_UNKNOWN)) {
            continue;
        }
        struct stat St {};
        if (EntryStat(DirFd, E->d_name, St) && S_ISDIR(St.st_mode)) {
            Result.emplace_back(E->d_name);
        }
    }
    return Result;
}

bool FileExists(const std::string& Path) {
    struct stat St {};
    return ::lstat(Path.c_str(), &St) == 0 && S_ISREG(St.st_mode);
}

bool IsRealDirectory(const std::string& Path) {
    struct stat St {};
    return ::lstat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool GetFileInfo(const std::string& Path, int64_t& Size, TDateTime& TimeUtc) {
    struct stat St {};
    if (::lstat(Path.c_str(), &St) != 0) {
        return false;
    }
    Size = static_cast<int64_t>(St.st_size);
    TimeUtc = StatTimeUtc(St);
    return true;
}

namespace {

// A date-time (days since 1899-12-30, UTC) as a time since 1970-01-01, milliseconds kept.
timespec UnixTime(TDateTime TimeUtc) {
    // Days since 1899-12-30 to seconds since 1970-01-01, milliseconds kept.
    const double Ms = std::round((TimeUtc - 25569.0) * MSecsPerDay);
    const auto TotalMs = static_cast<long long>(Ms);
    long long Secs = TotalMs / 1000;
    long long Rest = TotalMs % 1000;
    if (Rest < 0) {
        Rest += 1000;
        --Secs;
    }
    timespec Time{};
    Time.tv_sec = static_cast<time_t>(Secs);
    Time.tv_nsec = static_cast<long>(Rest * 1000000);
    return Time;
}

} // namespace

bool SetFileTimeUtc(const std::string& Path, TDateTime TimeUtc) {
    if (!std::isfinite(TimeUtc)) {
        return false;
    }
    const timespec Times[2] = {{0, UTIME_OMIT}, UnixTime(TimeUtc)};
    // A link's own time would be set; a link is not what the caller means, so it is refused.
    struct stat St {};
    if (::lstat(Path.c_str(), &St) != 0 || S_ISLNK(St.st_mode)) {
        return false;
    }
    return ::utimensat(AT_FDCWD, Path.c_str(), Times, AT_SYMLINK_NOFOLLOW) == 0;
}

void SetAttributesNormal(const std::string& Path) {
    TFd Fd(-1);
    struct stat St {};
    if (OpenRegular(Path, Fd, St) == 0) {
        AddOwnerWriteBit(Fd.Get(), St);
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
        if (::lstat(Path.c_str(), &St) != 0 && InjectedFault(TFileOp::MakeDir, Path) != 0) {
            throw EOSError(SysErrorMessage(errno));
        }
        if (::mkdir(Path.c_str(), 0777) != 0 && errno != EEXIST) {
            throw EOSError(SysErrorMessage(errno));
        }
        if (::stat(Path.c_str(), &St) != 0 || !S_ISDIR(St.st_mode)) {
            throw EOSError(SysErrorMessage(ENOTDIR));
        }
    }
}

std::string EnsureSubdirectory(const std::string& Parent, const std::string& Name) {
    const std::string Path =
        (Parent.empty() || Parent.back() != '/' ? Parent + "/" : Parent) + Name;
    TFd ParentFd(::open(Parent.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (ParentFd.Get() < 0) {
        throw EOSError("Cannot use directory \"" + Parent + "\". " + SysErrorMessage(errno));
    }
    struct stat Existing {};
    const bool Missing =
        ::fstatat(ParentFd.Get(), Name.c_str(), &Existing, AT_SYMLINK_NOFOLLOW) != 0;
    if ((Missing && InjectedFault(TFileOp::MakeDir, Path) != 0) ||
        (::mkdirat(ParentFd.Get(), Name.c_str(), 0777) != 0 && errno != EEXIST)) {
        throw EOSError("Cannot create directory \"" + Path + "\". " + SysErrorMessage(errno));
    }
    // mkdirat never follows a link; entering it must not either.
    TFd Fd(::openat(ParentFd.Get(), Name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (Fd.Get() < 0) {
        const int Error = errno;
        struct stat St {};
        if (::fstatat(ParentFd.Get(), Name.c_str(), &St, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISLNK(St.st_mode)) {
            throw EOSError("Cannot use directory \"" + Path +
                           "\": it is a symbolic link, not a directory");
        }
        throw EOSError("Cannot use directory \"" + Path + "\". " + SysErrorMessage(Error));
    }
    return Path;
}

bool DeleteFile(const std::string& Path) {
    return ::unlink(Path.c_str()) == 0;
}

void CopyFileReplacing(const std::string& Source, const std::string& Dest) {
    TReadFile File;
    ReadFileInto(Source, File);
    CopyReadFileReplacing(File, Source, Dest);
}

namespace {

void StampReadFile(const struct stat& St, TReadFile& File) {
    File.Device = St.st_dev;
    File.Inode = St.st_ino;
    File.ModifiedSeconds = St.st_mtim.tv_sec;
    File.ModifiedNanoseconds = St.st_mtim.tv_nsec;
}

} // namespace

void ReadFileInto(const std::string& Path, TReadFile& File) {
    struct stat St {};
    if (const int Error = ReadRegular(Path, File.Bytes, St); Error != 0) {
        RaiseRead(Path, Error);
    }
    StampReadFile(St, File);
}

bool ReadFileMadeWritable(const std::string& Path, TReadFile& File,
                          const std::function<void()>& Found) {
    File.Bytes.clear();
    TFd Fd(-1);
    struct stat St {};
    // One open does what FileExists, SetAttributesNormal and ReadFileInto do one after the
    // other; the name is looked at again only when it cannot be opened as a regular file.
    if (const int Error = OpenRegular(Path, Fd, St); Error != 0) {
        if (!FileExists(Path)) {
            return false;
        }
        Found();
        RaiseRead(Path, Error);
    }
    Found();
    AddOwnerWriteBit(Fd.Get(), St);
    if (const int Error = ReadOpened(Fd, St, File.Bytes); Error != 0) {
        RaiseRead(Path, Error);
    }
    StampReadFile(St, File);
    return true;
}

void CopyReadFileReplacing(const TReadFile& File, const std::string& Source,
                           const std::string& Dest) {
    struct stat Dst {};
    if (::lstat(Dest.c_str(), &Dst) == 0 && Dst.st_dev == File.Device && Dst.st_ino == File.Inode) {
        throw EOSError("Cannot copy file \"" + Source + "\" onto itself");
    }
    timespec Time{};
    Time.tv_sec = static_cast<time_t>(File.ModifiedSeconds);
    Time.tv_nsec = static_cast<long>(File.ModifiedNanoseconds);
    ReplaceAtomically(Dest, File.Bytes, &Time);
}

TFileFaults* SetFileFaults(TFileFaults* Faults) {
    return InstalledFaults.exchange(Faults);
}

int StandardBiasMinutes() {
    ::tzset();
    return static_cast<int>(::timezone / 60);
}
