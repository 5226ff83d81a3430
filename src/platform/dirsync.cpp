#include "platform/dirsync.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "common/fdio.h"

namespace {

thread_local TDeferredDirectorySyncs* Innermost = nullptr;

std::mutex ObserverLock;
TFileSyncObserver& Observer() {
    static TFileSyncObserver Instance;
    return Instance;
}

void SyncDirectory(const std::string& Dir) {
    ObserveFileSync("sync", Dir);
    TFd DirFd(::open(Dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (DirFd.Get() >= 0) {
        ::fsync(DirFd.Get());
    }
}

} // namespace

TDeferredDirectorySyncs::TDeferredDirectorySyncs() : FOuter(Innermost) {
    Innermost = this;
}

TDeferredDirectorySyncs::~TDeferredDirectorySyncs() {
    Sync();
    Innermost = FOuter;
}

void TDeferredDirectorySyncs::Sync() {
    for (const std::string& Dir : FDirs) {
        SyncDirectory(Dir);
    }
    FDirs.clear();
}

void SyncDeferredDirectories() {
    if (Innermost != nullptr) {
        Innermost->Sync();
    }
}

void SyncDeferredDirectory(const std::string& Dir) {
    if (Innermost == nullptr) {
        return;
    }
    std::vector<std::string>& Dirs = Innermost->FDirs;
    const auto Pending = std::find(Dirs.begin(), Dirs.end(), Dir);
    if (Pending != Dirs.end()) {
        Dirs.erase(Pending);
        SyncDirectory(Dir);
    }
}

void SyncOrDeferDirectory(const std::string& Dir) {
    if (Innermost == nullptr) {
        SyncDirectory(Dir);
        return;
    }
    std::vector<std::string>& Dirs = Innermost->FDirs;
    if (std::find(Dirs.begin(), Dirs.end(), Dir) == Dirs.end()) {
        Dirs.push_back(Dir);
    }
}

void SetFileSyncObserver(TFileSyncObserver NewObserver) {
    const std::lock_guard<std::mutex> Guard(ObserverLock);
    Observer() = std::move(NewObserver);
}

void ObserveFileSync(std::string_view Event, const std::string& Path) {
    const std::lock_guard<std::mutex> Guard(ObserverLock);
    if (Observer()) {
        Observer()(Event, Path);
    }
}
