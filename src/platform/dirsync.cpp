#include "platform/dirsync.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <mutex>
#include <utility>

#include "common/errors.h"
#include "common/fdio.h"
#include "platform/files.h"

namespace {

thread_local TDeferredDirectorySyncs* Innermost = nullptr;

std::mutex ObserverLock;
TFileSyncObserver& Observer() {
    static TFileSyncObserver Instance;
    return Instance;
}

void SyncDirectory(const std::string& Dir) {
    ObserveFileSync("sync", Dir);
    SyncDirectoryNow(Dir);
}

} // namespace

TDeferredDirectorySyncs::TDeferredDirectorySyncs() : FOuter(Innermost) {
    Innermost = this;
}

TDeferredDirectorySyncs::~TDeferredDirectorySyncs() {
    try {
        Sync();
    } catch (const std::exception&) {
        // Left to the caller's own Sync, which reports it; nothing may leave a destructor.
    }
    Innermost = FOuter;
}

void TDeferredDirectorySyncs::Sync() {
    // A directory that fails stays pending, so a later Sync fails too (or succeeds when the
    // fault has passed): what it holds is never taken as on disk.
    std::vector<std::string> Failed;
    std::string FirstError;
    for (const std::string& Dir : FDirs) {
        try {
            SyncDirectory(Dir);
        } catch (const std::exception& E) {
            Failed.push_back(Dir);
            if (FirstError.empty()) {
                FirstError = E.what();
            }
        }
    }
    FDirs = std::move(Failed);
    if (!FirstError.empty()) {
        throw EOSError(FirstError);
    }
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
        SyncDirectory(Dir); // stays pending when it fails
        Dirs.erase(std::find(Dirs.begin(), Dirs.end(), Dir));
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
