#include "config/ftconfigbase.h"

#include <exception>

#include "common/debuglog.h"
#include "common/errors.h"
#include "common/text.h"

namespace {

constexpr const char* GeneralSection = "General";
constexpr const char* DefaultExactTime = "18:00";

void CheckIndex(int Index) {
    if (Index < 0 || Index >= TBaseFtConfig::MaxDirectories) {
        throw ERangeError("Range check error");
    }
}

} // namespace

TBaseFtConfig::TBaseFtConfig() : ExactTime(DefaultExactTime) {}

const std::string& TBaseFtConfig::GetDirectory(int Index) const {
    CheckIndex(Index);
    return Directories[static_cast<std::size_t>(Index)];
}

void TBaseFtConfig::SetDirectory(int Index, std::string Value) {
    CheckIndex(Index);
    Directories[static_cast<std::size_t>(Index)] = std::move(Value);
}

int TBaseFtConfig::FirstFreeDirectory() const {
    for (int I = 0; I < MaxDirectories; ++I) {
        if (Directories[static_cast<std::size_t>(I)].empty()) {
            return I;
        }
    }
    return -1;
}

void TBaseFtConfig::Assign(const TBaseFtConfig& Source) {
    CopyFrom(Source);
}

void TBaseFtConfig::AssignTo(TBaseFtConfig& Dest) const {
    Dest.CopyFrom(*this);
}

void TBaseFtConfig::CopyFrom(const TBaseFtConfig& Source) {
    if (&Source == this) {
        return;
    }
    LogDetailed = Source.LogDetailed;
    TimeBetweenActions = Source.TimeBetweenActions;
    Directories = Source.Directories;
    ExactTimeMode = Source.ExactTimeMode;
    ExactTime.SetText(Source.ExactTime.GetText(':'), ':');
}

void TBaseFtConfig::LoadFromIni(const TIniFile& Ini) {
    FLoadErrors.clear();
    LogDetailed = Ini.ReadBool(GeneralSection, "LogDetailed", false);
    TimeBetweenActions = Ini.ReadInteger(GeneralSection, "TimeBetweenActions", 60);
    ExactTimeMode = Ini.ReadBool(GeneralSection, "ExactTimeMode", false);
    // A bad time does not stop the load: the valid times are kept, so the rest of the file
    // (the directories and the slots of derived classes) is still read.
    std::string Error =
        ExactTime.SetValidText(Ini.ReadString(GeneralSection, "ExactTime", DefaultExactTime), ':');
    if (!Error.empty()) {
        NoteLoadError(std::move(Error));
    }
    if (ExactTime.Count() == 0) {
        ExactTime.SetText(DefaultExactTime, ':');
    }
    for (int I = 0; I < MaxDirectories; ++I) {
        Directories[static_cast<std::size_t>(I)] =
            Ini.ReadString(SectionName(I), "TrackDirectory", "");
    }
}

void TBaseFtConfig::SaveToIni(TIniFile& Ini) const {
    Ini.WriteBool(GeneralSection, "LogDetailed", LogDetailed);
    Ini.WriteInteger(GeneralSection, "TimeBetweenActions", TimeBetweenActions);
    Ini.WriteBool(GeneralSection, "ExactTimeMode", ExactTimeMode);
    Ini.WriteString(GeneralSection, "ExactTime", ExactTime.GetText(':'));
    for (int I = 0; I < MaxDirectories; ++I) {
        Ini.WriteString(SectionName(I), "TrackDirectory", Directories[static_cast<std::size_t>(I)]);
    }
}

bool TBaseFtConfig::LoadFromFile(const std::string& FileName) {
    std::vector<std::string> Errors;
    try {
        const TIniFile Ini(FileName);
        LoadFromIni(Ini);
        Errors = FLoadErrors;
    } catch (const std::exception& E) {
        Errors = FLoadErrors;
        Errors.emplace_back(E.what());
    }
    for (const std::string& Message : Errors) {
        DebugLog(3, Format("Error reading data from %s : %s", FileName.c_str(), Message.c_str()));
    }
    return Errors.empty();
}

bool TBaseFtConfig::SaveToFile(const std::string& FileName) const {
    try {
        TIniFile Ini(FileName);
        SaveToIni(Ini);
        Ini.UpdateFile();
    } catch (const std::exception& E) {
        DebugLog(3, Format("Error writing data to %s : %s", FileName.c_str(), E.what()));
        return false;
    }
    return true;
}

std::string TBaseFtConfig::SectionName(int Index) {
    return "Directory" + std::to_string(Index);
}

void TBaseFtConfig::NoteLoadError(std::string Message) {
    FLoadErrors.push_back(std::move(Message));
}
