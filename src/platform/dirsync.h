// Directory syncs deferred to the end of a batch of atomic replacements.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

// While one lives on a thread, the atomic replacements that thread makes (WriteFileAtomically,
// CopyFileReplacing) leave the fsync of their directory to it, and each directory written into
// is synced once, by Sync() or when the object goes. A file's own fsync before its rename is never
// deferred: a crash still leaves every file old or new, but a rename may be lost until the sync.
// Batches nest: the innermost one takes the directories.
class TDeferredDirectorySyncs {
public:
    TDeferredDirectorySyncs();
    ~TDeferredDirectorySyncs(); // Sync(), errors ignored (call Sync to see them)
    TDeferredDirectorySyncs(const TDeferredDirectorySyncs&) = delete;
    TDeferredDirectorySyncs& operator=(const TDeferredDirectorySyncs&) = delete;

    // fsyncs every directory written into since the last Sync, once each. Raises EOSError when
    // one fails; the failed ones stay pending.
    void Sync();

private:
    friend void SyncOrDeferDirectory(const std::string& Dir);
    friend void SyncDeferredDirectory(const std::string& Dir);
    TDeferredDirectorySyncs* FOuter;
    std::vector<std::string> FDirs;
};

// Syncs what the innermost batch of this thread has deferred (nothing without one): called before
// writing a file that records others (an index, a checkpoint) or that others rely on, so that no
// record reaches the disk before what it records. These and the syncs below raise EOSError when a
// directory cannot be synced.
void SyncDeferredDirectories();

// Syncs Dir now if the innermost batch of this thread has it pending, leaving the others pending:
// for a file that must be on disk before another one is replaced (a raw copy before its input).
void SyncDeferredDirectory(const std::string& Dir);

// For the file layer, after a rename into Dir: fsyncs Dir now, or leaves it to the innermost batch
// of this thread.
void SyncOrDeferDirectory(const std::string& Dir);

// Test seam: Observer sees every rename of an atomic replacement ("rename", the target path) and
// every directory fsync ("sync", the directory), in order, on every thread. Empty to stop.
using TFileSyncObserver = std::function<void(std::string_view Event, const std::string& Path)>;
void SetFileSyncObserver(TFileSyncObserver Observer);
// Reports an event to the observer, when one is set.
void ObserveFileSync(std::string_view Event, const std::string& Path);
