#include "transforms/vrktransform.h"

#include <array>
#include <memory>

#include "common/utils.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/dirsync.h"
#include "platform/files.h"

bool ReadTransformInput(const std::string& FileName, const std::string& OutDir,
                        std::string& OutPath, TVrkConfig& Header, TVrkDay& Day) {
    TReadFile Read;
    if (!ReadFileMadeWritable(FileName, Read, [&] { OutPath = OutputPath(OutDir, FileName); })) {
        return false;
    }
    ParseCountingFile(Read.Bytes, FileName, Header, Day);
    return true;
}

void CopyRawInput(const std::string& FileName, const TReadFile& Read) {
    // Others may write into the watched directory: the raw-copy directory is never a link.
    const std::string RawDir = EnsureSubdirectory(ExtractFileDir(FileName), "compteursbrut");
    CopyReadFileReplacing(Read, FileName, CombinePath(RawDir, ExtractFileName(FileName)));
    // The raw copy reaches the disk before the input it keeps is replaced.
    SyncDeferredDirectory(RawDir);
}

TVrkDay& TransformDay(int Index) {
    thread_local std::array<std::unique_ptr<TVrkDay>, 3> Days;
    auto& Day = Days.at(static_cast<std::size_t>(Index));
    if (!Day) {
        Day = std::make_unique<TVrkDay>();
    }
    return *Day;
}

TInputStamp StampInput(const std::string& FileName) {
    TInputStamp Stamp;
    GetFileInfo(FileName, Stamp.Size, Stamp.TimeUtc);
    return Stamp;
}

void CheckInputUnchanged(const std::string& FileName, const TInputStamp& Stamp) {
    const TInputStamp Now = StampInput(FileName);
    if (Now.Size != Stamp.Size || Now.TimeUtc != Stamp.TimeUtc) {
        throw ETarnoError("File \"" + FileName + "\" changed while it was converted");
    }
}

void ResetToEmptyKt9(TVrkConfig& Header) {
    ResetToKt9Layout(Header);
    Header.Flags = 0;
}

void ResetToDoorTotals(TVrkConfig& Header) {
    ResetToEmptyKt9(Header);
    Header.Doors(1).Defined = true;
    Header.Doors(1).Name = "Porte";
    Header.Channels(1).Active = true;
    Header.Channels(2).Active = true;
}
