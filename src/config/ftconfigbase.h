// The configuration of a directory-tracking service: the settings of the timed loop and the 64
// watched directories, read from and written to an INI file. TZirConfig derives from it.
#pragma once

#include <array>
#include <string>

#include "common/ini.h"
#include "common/timelist.h"

class TBaseFtConfig {
public:
    static constexpr int MaxDirectories = 64;

    TBaseFtConfig();
    virtual ~TBaseFtConfig() = default;
    TBaseFtConfig(const TBaseFtConfig&) = delete;
    TBaseFtConfig& operator=(const TBaseFtConfig&) = delete;

    bool LogDetailed = false;
    int TimeBetweenActions = 60;
    bool ExactTimeMode = false;
    TTimeList ExactTime; // the single time 18:00 at creation

    // Index outside 0..63 raises ERangeError.
    const std::string& GetDirectory(int Index) const;
    void SetDirectory(int Index, std::string Value);
    int FirstFreeDirectory() const; // lowest index with an empty directory, or -1

    // Source/Dest must be a TBaseFtConfig (or derived), else EConvertError
    // "Attemp to assign wront object to TBaseFtConfig."; then CopyFrom.
    virtual void Assign(const TBaseFtConfig& Source);
    virtual void AssignTo(TBaseFtConfig& Dest) const;

    virtual void CopyFrom(const TBaseFtConfig& Source);
    virtual void LoadFromIni(const TIniFile& Ini);
    virtual void SaveToIni(TIniFile& Ini) const;

    // Never raise: errors go to the debug log as "Error reading data from %s : %s" /
    // "Error writing data to %s : %s" at level 3.
    void LoadFromFile(const std::string& FileName);
    void SaveToFile(const std::string& FileName) const;

    // The section of slot Index: "Directory" + Index.
    static std::string SectionName(int Index);

protected:
    std::array<std::string, MaxDirectories> Directories;
};
