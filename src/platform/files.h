// File-system operations of the system on Linux: whole-file reads, atomic replacement, appends,
// directory enumeration with the attribute filter of the watched directories, and attributes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

// The whole content of Path, which must be a regular file: it is opened without following a
// symbolic link and without blocking (a FIFO or device is refused, not read), and read up to
// the size it has when opened. Raises EOSError "Cannot open file \"<Path>\". <reason>".
std::string ReadFileBytes(const std::string& Path);
// The same without raising: false (errno set: ELOOP for a link, EINVAL for a special file)
// when the file cannot be read; Error, when given, gets the reason ("it is a symbolic link",
// "it is not a regular file" or the system's message).
bool TryReadFileBytes(const std::string& Path, std::string& Bytes, std::string* Error = nullptr);

// Reads Path as ReadFileBytes does (the same checks, the same errors, up to the size it has when
// opened), in blocks, and calls Fn with consecutive pieces of it that together make the whole
// file. Each piece but the last ends at a line end (LF, or a CR not followed by LF) and no CR LF
// pair is cut, so the lines of the pieces are the lines of the file; a line longer than a block
// makes a longer piece. Memory stays that of a block however large the file is.
void ReadFileInLineBlocks(const std::string& Path,
                          const std::function<void(std::string_view Piece)>& Fn);

// Replaces Path's content with Bytes: a temporary file ".tarno-XXXXXX" (mkstemp) in Path's
// directory, fsync, rename; a crash leaves the old or the new file, and at most a temporary.
// A regular file at Path lends its permission bits (0777, never setuid, setgid or sticky) to
// the new one; anything else there (a symbolic link, nothing) gives 0666 & ~umask, and a link
// is replaced, never written through. Raises EOSError "Cannot create file \"<Path>\". <message>".
void WriteFileAtomically(const std::string& Path, std::string_view Bytes);
// True for a name WriteFileAtomically gives its temporary files (".tarno-" and six letters or
// digits): such a file is left over by a crash and can be removed.
bool IsAtomicWriteTempName(std::string_view Name);
// Removes from Dir the regular files with such a name last modified before OlderThanUtc: what a
// crash of an earlier process left behind. Links and any other name are never touched. Answers
// the number of files removed, -1 when Dir cannot be read.
int RemoveLeftTemporaries(const std::string& Dir, TDateTime OlderThanUtc);

// Appends Bytes with O_APPEND, creating the file when missing; never through a symbolic link.
// Raises EOSError "Cannot open file \"<Path>\". <message>".
void AppendToFile(const std::string& Path, std::string_view Bytes);

// AppendToFile, then the file's data and its directory entry are flushed to disk before it
// returns: what must be safe before another file that relies on it is replaced.
void AppendToFileDurably(const std::string& Path, std::string_view Bytes);

struct TFileEntry {
    std::string Name;      // without directory
    int64_t Size = 0;      // bytes
    TDateTime TimeUtc = 0; // modification time, UTC, milliseconds kept
};

// The regular files of Dir that are not hidden (name starting with ".") and whose name matches
// the wildcard pattern "*." + Ext ("*" and "?", ASCII case ignored: "vrk", "v*", "vr?"); Ext "*"
// or "" takes every file. Ext has no dot.
// Symbolic links are skipped, never followed: their visible names go to SkippedLinks when given
// (whatever their extension). The order is the directory's. Raises EOSError when Dir cannot be
// read.
std::vector<TFileEntry> ListFiles(const std::string& Dir, std::string_view Ext,
                                  std::vector<std::string>* SkippedLinks = nullptr);

// Called with each file's name (valid during the call only), size and UTC modification time.
using TFileVisitor = std::function<void(std::string_view Name, int64_t Size, TDateTime TimeUtc)>;
// ListFiles without the list: Visit is called for each file ListFiles would answer, in the same
// order, and nothing is kept (for directories of many files).
void ForEachFile(const std::string& Dir, std::string_view Ext, const TFileVisitor& Visit,
                 std::vector<std::string>* SkippedLinks = nullptr);

// Subdirectories of Dir, hidden ones and symbolic links left out, in the directory's order.
std::vector<std::string> ListSubdirectories(const std::string& Dir);

bool FileExists(const std::string& Path);      // a regular file, not a symbolic link
bool IsRealDirectory(const std::string& Path); // a directory, not a symbolic link
// Size and UTC modification time of Path (a link's own); false when it cannot be read.
bool GetFileInfo(const std::string& Path, int64_t& Size, TDateTime& TimeUtc);
// Sets the modification time of Path (UTC date-time), never through a symbolic link; false on
// failure.
bool SetFileTimeUtc(const std::string& Path, TDateTime TimeUtc);

// "Set attributes to normal": adds the owner's write bit to the regular file Path when it is
// missing, on the opened file (a symbolic link or special file is left alone); errors ignored.
void SetAttributesNormal(const std::string& Path);

// Creates Dir with every missing level (new levels 0777 & ~umask). Links on the way are
// followed: Dir comes from the configuration. Raises EOSError with the system message.
void ForceDirectories(const std::string& Dir);

// The subdirectory Name of Parent that the service creates or enters inside a directory other
// accounts may write into (the raw copies' "compteursbrut", an "index" folder): created when
// missing (0777 & ~umask), and never a symbolic link. Name is one path component; an empty
// Parent is the current directory. Answers Parent + "/" + Name. Raises EOSError "Cannot use
// directory \"<Path>\": it is a symbolic link, not a directory" for a link, and EOSError with the
// system's message when it is no directory or cannot be created.
std::string EnsureSubdirectory(const std::string& Parent, const std::string& Name);

bool DeleteFile(const std::string& Path); // false when it could not be deleted

// Copies the regular file Source (read as ReadFileBytes does) to Dest, replacing Dest atomically
// and keeping Source's modification time. Copying a file onto itself fails without touching it.
// Raises EOSError.
void CopyFileReplacing(const std::string& Source, const std::string& Dest);

// A file read once: its content, and the identity and modification time of the file it came
// from when it was read, so that it can be copied without reading it again.
struct TReadFile {
    std::string Bytes;
    uint64_t Device = 0;
    uint64_t Inode = 0;
    int64_t ModifiedSeconds = 0;
    int64_t ModifiedNanoseconds = 0;
};
// Reads Path as ReadFileBytes does into File (whose buffer is reused). Raises the same EOSError.
void ReadFileInto(const std::string& Path, TReadFile& File);
// What FileExists, SetAttributesNormal and ReadFileInto do in turn, with one open: false, with
// nothing done, when Path is no regular file (missing, a symbolic link, a special file);
// otherwise Found is called (what it raises passes on, before anything is changed), the owner's
// write bit is added when missing (errors ignored) and the file is read into File. Raises the
// EOSError of ReadFileInto.
bool ReadFileMadeWritable(
    const std::string& Path, TReadFile& File, const std::function<void()>& Found = [] {});
// CopyFileReplacing with the content File, read from Source with ReadFileInto: Dest is replaced
// atomically by File's bytes with File's modification time. Raises EOSError.
void CopyReadFileReplacing(const TReadFile& File, const std::string& Source,
                           const std::string& Dest);

// The operations of the file layer that change the disk, as a fault seam sees them.
enum class TFileOp { Write, Sync, Rename, MakeDir };

// fsyncs the directory Dir, so that the renames and creations in it reach the disk. Raises
// EOSError "Cannot sync directory" when it cannot be opened or synced; a directory that no longer
// exists has nothing left to sync.
void SyncDirectoryNow(const std::string& Dir);

// Fault seam of the file layer: when installed, Before is asked before each write (a file
// created or written to), fsync of a file or directory, rename and directory creation, with the
// path concerned; an answer other than 0 is taken as the errno of that operation, which is then not
// done. Only tests install one; without one the layer costs a single pointer test per operation.
class TFileFaults {
public:
    virtual ~TFileFaults() = default;
    virtual int Before(TFileOp Op, const std::string& Path) = 0;
};
// Installs Faults (nullptr removes it) for the whole process; answers the one it replaces.
TFileFaults* SetFileFaults(TFileFaults* Faults);

// The standard time-zone bias in minutes (UTC = local standard time + bias), no daylight saving.
int StandardBiasMinutes();
