// The configuration of a directory-tracking service: the settings of the timed loop and the 64
// watched directories, read from and written to an INI file. TZirConfig derives from it.
//
// Derived classes take part by overriding CopyFrom, LoadFromIni and SaveToIni and calling the
// base version first, and by overriding Assign/AssignTo to refuse objects of another class with
// EConvertError "Attemp to assign wront object to TBaseFtConfig.". A value that LoadFromIni can
// mend (a malformed "ExactTime" falls back to its valid times, or 18:00) is recorded with
// NoteLoadError and the load goes on; LoadFromFile reports each recorded message, and any error
// that stopped LoadFromIni, once the load is over.
#pragma once

#include <array>
#include <string>
#include <vector>

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

    // Index outside 0..63 raises ERangeError "Range check error".
    const std::string& GetDirectory(int Index) const;
    void SetDirectory(int Index, std::string Value);
    int FirstFreeDirectory() const; // lowest index with an empty directory, or -1

    // CopyFrom(Source) / Dest.CopyFrom(*this). Derived classes refuse another class (see above).
    virtual void Assign(const TBaseFtConfig& Source);
    virtual void AssignTo(TBaseFtConfig& Dest) const;

    // Copies every setting; the time list goes through its text form, so seconds are dropped.
    virtual void CopyFrom(const TBaseFtConfig& Source);
    // Reads every setting; starts by clearing LoadErrors. Raises only for errors it cannot mend.
    virtual void LoadFromIni(const TIniFile& Ini);
    virtual void SaveToIni(TIniFile& Ini) const;

    // Never raise: errors go to the debug log as "Error reading data from %s : %s" /
    // "Error writing data to %s : %s" at level 3. Both answer false when they reported an error.
    // A missing file loads as all defaults without a report.
    bool LoadFromFile(const std::string& FileName);
    bool SaveToFile(const std::string& FileName) const;

    // The messages NoteLoadError recorded during the last LoadFromIni.
    const std::vector<std::string>& LoadErrors() const { return FLoadErrors; }

    // The section of slot Index: "Directory" + Index.
    static std::string SectionName(int Index);

protected:
    // Records a mended loading error; LoadFromFile reports it after the load.
    void NoteLoadError(std::string Message);

    std::array<std::string, MaxDirectories> Directories;

private:
    std::vector<std::string> FLoadErrors;
};
