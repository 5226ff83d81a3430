#include "service/fcssrv.h"

#include <cerrno>

#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "platform/files.h"
#include "service/converters.h"

bool ConvertWithType(int Code, const std::string& FileName, TConvParams& Params,
                     const std::string& StoreName, bool& InputRewritten) {
    const TConverter* Converter = FindConverter(Code);
    if (Converter != nullptr && Converter->OnlyFileName != nullptr) {
        if (!SameText(ExtractFileName(FileName), Converter->OnlyFileName)) {
            return true;
        }
    }
    if (!HasConverter(Code)) {
        throw ETarnoError("Conversion type " + TZirConfig::ConvTypeToText(Code) +
                          " is not available in this build");
    }
    if (Converter->Prepare != nullptr) {
        Converter->Prepare(Params);
    }
    const bool Ok = Converter->StoreEntry != nullptr
                        ? Converter->StoreEntry(FileName, Params, StoreName)
                        : Converter->Entry(FileName, Params);
    InputRewritten = Ok && Converter->RewritesInput;
    return Ok;
}

TFcService::TFcService(const TServiceEnvironment& Environment) : TBaseRorozoraService(Environment) {
    ServiceName = "Tarno";
    DisplayName = "MERVANTO Vevu Vidozirido Vaziviz";
    IniFileName = "tarno.ini";
    InfoPipeName = "ZirInfo";
    ControlPipeName = "ZirControl";
    LogFileName = "tarno.log";
    Config = std::make_unique<TZirConfig>();
}

TZirConfig& TFcService::GetZirConfig() const {
    return static_cast<TZirConfig&>(*Config);
}

bool TFcService::HandleCustomControl(int Code) {
    const int Slot = Code & 0x3F;
    const int Command = Code & 0xC0;
    SetIdle(false);
    bool Result = true;
    if (Command == CtrlProcessAllFiles) {
        try {
            Result = ForceDirectory(Slot);
        } catch (const std::exception& E) {
            Log(3, E.what());
            Result = false;
        }
    }
    SetIdle(true);
    return Result;
}

void TFcService::LogMonitoredDirectories() {
    const TZirConfig& Zir = GetZirConfig();
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        if (!Zir.GetDirectory(Slot).empty()) {
            Log(0, "Monitor directory " + Zir.GetDirectory(Slot) + " -> " + Zir.GetOutDir(Slot));
        }
    }
}

bool TFcService::StartTracking() {
    const bool Result = TBaseRorozoraService::StartTracking();
    if (Result) {
        StatusListNames = {"fclist.dst"};
    }
    return Result;
}

bool TFcService::StopTracking() {
    SetLogPrefix("");
    return TBaseRorozoraService::StopTracking();
}

void TFcService::BeforeChain() {
    SetLogPrefix(GetZirConfig().GetChainTitle(CurrentDirIndex) + ": ");
    if (UrgentRequestPending()) {
        throw ETarnoError(CanceledMessage);
    }
}

void TFcService::ListChainDirectories(int Slot, const std::string& Directory,
                                      std::vector<TChainEntry>& List) {
    std::string D = Directory;
    if (D.size() > 1 && D.back() == '/') {
        D.pop_back(); // one trailing separator, and never the root's
    }
    const int Code = GetZirConfig().GetConvType(Slot);
    if (!IsDirectory(Directory)) {
        throw ETarnoError("Directory does not exist \"" + D + "\"");
    }
    const TConverter* Converter = FindConverter(Code);
    if (Converter == nullptr || !Converter->StoreTrees) {
        List.push_back({D, GetZirConfig().GetFileExt(Slot), ""});
        return;
    }
    for (const std::string& Sub : ListSubdirectories(D)) {
        if (IsReservedStoreDir(Sub)) {
            continue;
        }
        const std::string Store = CheckStoreName(Sub);
        // The name is matched without regard to case, as on the systems the stores come from.
        const std::string StoreDir = ResolveNameNoCase(D + "/" + Sub + "/zalmoret");
        // Never entered through a link: others may write into the store trees.
        if (!StoreDir.empty() && IsRealDirectory(StoreDir)) {
            List.push_back({StoreDir, "vrk", Store});
        }
    }
}

std::vector<std::string> TFcService::WrittenDirectories() const {
    std::vector<std::string> Dirs = TBaseRorozoraService::WrittenDirectories();
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        const std::string& Dir = GetZirConfig().GetDirectory(Slot);
        if (Dir.empty()) {
            continue;
        }
        const std::string& OutDir = GetZirConfig().GetOutDir(Slot);
        const TConverter* Converter = FindConverter(GetZirConfig().GetConvType(Slot));
        if (!OutDir.empty()) {
            Dirs.push_back(OutDir);
            // The export index beside "ZALMORET.TXT" is replaced atomically too.
            const std::string IndexDir = CombinePath(OutDir, "index");
            if (Converter != nullptr && Converter->OwnsOutDir && IsRealDirectory(IndexDir)) {
                Dirs.push_back(IndexDir);
            }
        }
        // The raw copies of the inputs a converter rewrites; never entered through a link.
        const std::string RawDir = CombinePath(Dir, "compteursbrut");
        if (Converter != nullptr && Converter->RewritesInput && IsRealDirectory(RawDir)) {
            Dirs.push_back(RawDir);
        }
    }
    return Dirs;
}

std::string TFcService::GetStatusFileName(const std::string&, int Index) {
    if (Index < 0) {
        Index = CurrentDirIndex;
    }
    return Format("fclist_%s%d.dst",
                  LowerCase(TZirConfig::ConvTypeToText(GetZirConfig().GetConvType(Index))).c_str(),
                  Index);
}

bool TFcService::ProcessFile(const std::string& FileName, const TChainEntry& Entry,
                             TFileVisit& Visit) {
    if (UrgentRequestPending()) {
        throw ETarnoError(CanceledMessage);
    }
    if (Config->LogDetailed) {
        Log(0, "processing file " + FileName);
    }
    bool Ok = false;
    try {
        TZirConfig& Zir = GetZirConfig();
        RemoveLeftTemporariesOnce(Zir.GetOutDir(CurrentDirIndex));
        Ok = ConvertWithType(Zir.GetConvType(CurrentDirIndex), FileName,
                             Zir.GetParams(CurrentDirIndex), Entry.Store, Visit.InputRewritten);
        // The converters take an input gone since the scan as nothing to do, or fail without a
        // word. It was not converted: the failure is logged, the file is not recorded, and it is
        // offered again if it comes back.
        if (!FileExists(FileName)) {
            throw EOSError("Cannot open file \"" + FileName + "\". " + SysErrorMessage(ENOENT));
        }
        // The exports report their errors in their own error file, which may itself be out of
        // reach: the log names every file that failed.
        if (!Ok) {
            Log(3, FileName + " : conversion failed");
        }
    } catch (const std::exception& E) {
        Log(3, FileName + " : " + E.what());
        Ok = false;
    }
    SetLastFile(FileName, Ok, 2);
    return Ok;
}

bool TFcService::ForceDirectory(int Slot) {
    Log(0, "Force processing of all data files at user request");
    std::vector<TChainEntry> List;
    ListChainDirectories(Slot, GetZirConfig().GetDirectory(Slot), List);
    for (const TChainEntry& Entry : List) {
        DeleteFile(CombinePath(Entry.Directory, GetStatusFileName("fclist.dst", Slot)));
    }
    RequestForcedPass();
    return true;
}
