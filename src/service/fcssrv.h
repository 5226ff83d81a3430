// The conversion service: the directory-tracking service whose slots each carry a conversion
// type. It lists the directories of a slot, names the status files, converts each changed file
// with the converter of the slot's type and runs the forced reprocessing command.
#pragma once

#include "config/fcsconfig.h"
#include "service/ftsrvbase.h"

// User-defined control codes: bits 7..6 the command, bits 5..0 the slot.
constexpr int CtrlNoAction = 0x80;
constexpr int CtrlProcessAllFiles = 0xC0;

class TFcService : public TBaseRorozoraService {
public:
    // Names the service, its files and pipes; the configuration starts with its defaults.
    explicit TFcService(const TServiceEnvironment& Environment);

    TZirConfig& GetZirConfig() const;

    bool HandleCustomControl(int Code) override;
    void LogMonitoredDirectories() override;
    bool StartTracking() override;
    bool StopTracking() override;
    void PostProcessChain() override {}
    void BeforeChain() override;
    // Raises ETarnoError "Directory does not exist \"<Directory>\"" for a missing directory.
    void ListChainDirectories(int Slot, const std::string& Directory,
                              std::vector<TChainEntry>& List) override;
    // "fclist_<type name in lower case><Index>.dst"; Index -1 is the current slot.
    std::string GetStatusFileName(const std::string& BaseName, int Index) override;
    bool ProcessFile(const std::string& FileName, const TChainEntry& Entry,
                     TFileVisit& Visit) override;

    // The home, the watched directories and the output directories of the slots.
    std::vector<std::string> WrittenDirectories() const override;

    // Deletes the status files of Slot and asks for a pass at once.
    bool ForceDirectory(int Slot);
};

// Converts FileName with the converter of the type Code, as the service does for a file of a
// slot of that type; StoreName is the store of a store tree ("" elsewhere). Raises ETarnoError
// when no converter of that type is built in, and whatever the converter raises.
bool ConvertWithType(int Code, const std::string& FileName, TConvParams& Params,
                     const std::string& StoreName, bool& InputRewritten);
