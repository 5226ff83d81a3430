#include "transforms/vrktransform.h"

#include "common/utils.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"

std::string FileNamePart(const std::string& FileName) {
    const std::size_t Slash = FileName.find_last_of('/');
    return Slash == std::string::npos ? FileName : FileName.substr(Slash + 1);
}

std::string OutputPath(const std::string& OutDir, const std::string& FileName) {
    if (OutDir.empty()) {
        throw ETarnoError("Output directory not set");
    }
    return CombinePath(OutDir, FileNamePart(FileName));
}

void ReadCountingFile(const std::string& FileName, TVrkConfig& Header, TVrkDay& Day) {
    const std::string Text = ReadFileBytes(FileName);
    Header.ReadHeader(Text);
    LoadDayFromText(Text, FileName, Day, Header);
}

void CopyRawInput(const std::string& FileName) {
    const std::size_t Slash = FileName.find_last_of('/');
    const std::string Dir =
        Slash == std::string::npos ? std::string() : FileName.substr(0, Slash + 1);
    const std::string RawDir = Dir + "compteursbrut";
    ForceDirectories(RawDir);
    CopyFileReplacing(FileName, RawDir + "/" + FileNamePart(FileName));
}

void ResetToEmptyKt9(TVrkConfig& Header) {
    Header.SetModel("KT9");
    for (int D = 1; D <= VrkDoorCount; ++D) {
        Header.Doors(D) = TVrkDoor{};
    }
    for (int C = 1; C <= VrkChannelCount; ++C) {
        TVrkChannel& Ch = Header.Channels(C);
        Ch = TVrkChannel{};
        Ch.IsExit = C % 2 == 0;
        Ch.Door = (C + 1) / 2;
    }
    Header.Flags = 0;
}
