// The parameters of one watched-directory slot: the output directory, the extension of the files
// to watch and the options of the slot's converter. Each conversion type has its own class; the
// configuration owns one object per slot and stores it in the slot's INI section.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "common/ini.h"

// Week coefficients, Monday (index 0) to Sunday (index 6).
using TWeekCoeffs = std::array<double, 7>;
using TStaffCoeffs = std::array<int32_t, 7>;

// Base of every parameter class. Loading never fails for content reasons: a missing or
// malformed value takes the default of its class.
class TConvParams {
public:
    TConvParams() = default;
    virtual ~TConvParams() = default;
    TConvParams(const TConvParams&) = delete;
    TConvParams& operator=(const TConvParams&) = delete;

    std::string OutDir;        // receives the converter's output
    std::string FileExt = "*"; // extension of the watched files, without dot; "*" for all

    // Both copy through AssignParams of the object that receives the settings.
    void Assign(const TConvParams& Source) { AssignParams(Source); }
    void AssignTo(TConvParams& Dest) const { Dest.AssignParams(*this); }

    // Copies OutDir and FileExt; each class level then copies its own fields only when Source
    // is of that level's class (so copying between different types keeps the target's own
    // fields); a class with a fixed extension finally sets FileExt to it again.
    virtual void AssignParams(const TConvParams& Source);
    // Reads or writes the keys in Section: "OutDir", "FileExt", then the keys of each level.
    virtual void LoadFromIni(const TIniFile& Ini, std::string_view Section);
    virtual void SaveToIni(TIniFile& Ini, std::string_view Section) const;
    // Creates the directories this slot writes into (CreateDirWithRights); raises EOSError.
    virtual void PrepareDirectories(const std::string& WatchedDir) const;

protected:
    // FixedExt: the extension of the class, also set at creation; null when the extension is
    // free. DefaultOutDir: OutDir at creation (a missing key still reads as empty).
    explicit TConvParams(const char* FixedExt, std::string DefaultOutDir = {});

private:
    const char* FFixedExt = nullptr;
};

class TConvParamsNone : public TConvParams {};

class TConvParamsAcurity : public TConvParams {};

class TConvParamsBizPlu : public TConvParams {
public:
    TConvParamsBizPlu() : TConvParams("txt") {}
};

class TConvParamsAemsofts : public TConvParams {
public:
    TConvParamsAemsofts() : TConvParams("txt") {}
};

class TConvParamsCroma : public TConvParams {
public:
    TConvParamsCroma() : TConvParams("vrk") {}
};

class TConvParamsWinparf : public TConvParams {
public:
    TConvParamsWinparf() : TConvParams("*") {}
};

class TConvParamsVrkMerge : public TConvParams {
public:
    TConvParamsVrkMerge() : TConvParams("vrk") {}
};

class TConvParamsBrickstream : public TConvParams {
public:
    TConvParamsBrickstream();

    bool ZeroExits = false;
    bool UseShopId = false;
    std::string ShopId = "001";

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsBrickstreamChld : public TConvParamsBrickstream {};

class TConvParamsBrickstreamRt : public TConvParams {
public:
    TConvParamsBrickstreamRt() : TConvParams("dat") {}

    bool UseShopId = false;
    std::string ShopId = "001";

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsVrkSummarize : public TConvParams {
public:
    TConvParamsVrkSummarize() : TConvParams("vrk") {}

    bool DoorOnly = true;
    std::string StoreId = "001";
    bool ZeroExits = true;

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsVrkSimplif : public TConvParams {
public:
    TConvParamsVrkSimplif() : TConvParams("vrk") {}

    bool ZeroExits = true;

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsVrkNormalize : public TConvParams {
public:
    TConvParamsVrkNormalize() : TConvParams("vrk") {}

    bool EXMerge = false;
    bool NoExits = false;
    bool StaffRemoval = false;
    TStaffCoeffs StaffCoeffs{}; // keys "StaffCoeff1" (Monday) .. "StaffCoeff7" (Sunday)
    std::string StoreCode = "001";

    // A blank StoreCode becomes "001"; NoExits clears EXMerge. Applied after loading; saving
    // writes the normalised values.
    void Normalize();

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
    // Also the "compteursbrut" directory of the watched directory, for the raw copies.
    void PrepareDirectories(const std::string& WatchedDir) const override;
};

class TConvParamsCorrection : public TConvParams {
public:
    TConvParamsCorrection() : TConvParams("vrk") {}

    TWeekCoeffs Correction{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0}; // key "Correction"

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
    // Also the "compteursbrut" directory of the watched directory, for the raw copies.
    void PrepareDirectories(const std::string& WatchedDir) const override;
};

// The time filter shared by the exports; not used as a conversion type of its own.
class TConvParamsWithTimeFilter : public TConvParams {
public:
    bool CurrDayOnly = false;
    bool UseTimeFilter = false;
    int QtrStart = 0; // quarter-hour index: 0 is 00:00, 95 is 23:45
    int QtrStop = 95;

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;

protected:
    using TConvParams::TConvParams;
};

class TConvParamsOdeis : public TConvParamsWithTimeFilter {
public:
    TConvParamsOdeis() : TConvParamsWithTimeFilter("vrk") {}

    std::string StoreCode = "001"; // three characters, zero-padded on the left when loaded

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsCboxRt : public TConvParamsWithTimeFilter {
public:
    TConvParamsCboxRt() : TConvParamsWithTimeFilter("dat") {}
};

class TConvParamsCheckpoint : public TConvParamsWithTimeFilter {
public:
    TConvParamsCheckpoint() : TConvParamsWithTimeFilter("vrk") {}

    std::string CounterId = "001";

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsCegid : public TConvParamsWithTimeFilter {
public:
    TConvParamsCegid();

    std::string ShopId = "00001";
    std::string Code = "GCEC1";
    bool RetailMode = false;

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsGenerix : public TConvParamsWithTimeFilter {
public:
    TConvParamsGenerix();
};

class TConvParamsAce : public TConvParamsWithTimeFilter {
public:
    TConvParamsAce() : TConvParamsWithTimeFilter("vrk") {}

    bool DaylikeOut = false; // one output file per day instead of one fixed file

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsCylande : public TConvParamsWithTimeFilter {
public:
    TConvParamsCylande();

    bool NoDateSeparator = false;
    bool Scale15min = false;

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

class TConvParamsSoftTouch : public TConvParamsWithTimeFilter {
public:
    TConvParamsSoftTouch() : TConvParamsWithTimeFilter("vrk") {}

    bool NoDateSeparator = true;
    std::string LocationName;
    std::string LocationId;

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

// A converter that also keeps a copy of its source files; not used as a conversion type itself.
class TConvParamsWithRawOutput : public TConvParams {
public:
    std::string RawOutDir;

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
    // Also RawOutDir.
    void PrepareDirectories(const std::string& WatchedDir) const override;

protected:
    using TConvParams::TConvParams;
};

class TConvParamsXlSoft : public TConvParamsWithRawOutput {
public:
    TConvParamsXlSoft() : TConvParamsWithRawOutput("txt") {}

    int QtrStart = 0;
    int QtrStop = 95;
    int SliceSize = 30; // minutes: 1, 30 or 60; any other loaded value becomes 30

    void AssignParams(const TConvParams& Source) override;
    void LoadFromIni(const TIniFile& Ini, std::string_view Section) override;
    void SaveToIni(TIniFile& Ini, std::string_view Section) const override;
};

// Creates Dir with every missing level, then grants everyone access to it. An empty Dir does
// nothing. Raises EOSError "Create directory <Dir>: <system message>".
void CreateDirWithRights(const std::string& Dir);

// The prefix of the system's fixed default paths: "" (the root) or the value of the environment
// variable TARNO_DRIVE.
std::string WindowsDrive();

// The seven week coefficients of Text: blank-separated reals with "." as decimal separator; a
// piece that is not a number and every missing piece give 1.0, pieces past the seventh are
// ignored.
TWeekCoeffs StrToCoeffs(std::string_view Text);
// Each coefficient rounded to two significant digits, written with three decimals ("0.880"),
// separated by one blank.
std::string CoeffsToStr(const TWeekCoeffs& Coeffs);

// The last Width characters of Width - 1 zeros followed by Text, an empty Text counting as "1":
// ("7", 3) gives "007", ("12345", 3) gives "345".
std::string ZeroPadLeft(std::string_view Text, int Width);

// Params as the parameter class T that a converter needs; raises EConvertError "Attempt to
// assign wrong object to TConvParams." for another class.
template <class T>
const T& ParamsAs(const TConvParams& Params) {
    const T* Result = dynamic_cast<const T*>(&Params);
    if (Result == nullptr) {
        throw EConvertError("Attempt to assign wrong object to TConvParams.");
    }
    return *Result;
}
