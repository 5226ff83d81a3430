#include "config/fcsconvparams.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <utility>

#include "common/errors.h"
#include "common/security.h"
#include "common/text.h"
#include "common/utils.h"
#include "platform/files.h"

namespace {

// The directory where the transforms that rewrite their input keep the raw files. Nothing when
// the watched directory is not set, rather than a directory at the root.
void CreateRawCopyDir(const std::string& WatchedDir) {
    if (!WatchedDir.empty()) {
        CreateDirWithRights(CombinePath(WatchedDir, "compteursbrut"));
    }
}

std::string StaffCoeffKey(std::size_t Index) {
    return Format("StaffCoeff%d", static_cast<int>(Index) + 1);
}

// The first three characters of Code right-aligned in three characters, blanks made zeros.
std::string NormalizeOdeisStoreCode(const std::string& Code) {
    std::string Result = Format("%3s", CopyText(Code, 1, 3).c_str());
    for (char& C : Result) {
        if (C == ' ') {
            C = '0';
        }
    }
    return Result;
}

// One coefficient: rounded half away from zero to two significant digits, but no further than
// the third decimal, and written with three decimals.
std::string CoeffToStr(double Value) {
    if (!std::isfinite(Value)) {
        return "1.000"; // what such a value would read back as
    }
    // Fifteen significant digits: the decimal value the user wrote, free of binary noise.
    char Buffer[32];
    std::snprintf(Buffer, sizeof Buffer, "%.14e", std::fabs(Value));
    std::string Digits;
    const char* P = Buffer;
    for (; *P != 'e'; ++P) {
        if (*P != '.') {
            Digits += *P;
        }
    }
    int Exponent = std::atoi(P + 1); // the first digit is worth 10^Exponent
    // The lowest power of ten kept, and how many of the digits lie at or above it.
    int Lowest = std::max(Exponent - 1, -3);
    int Kept = Exponent - Lowest + 1;
    long long Units = 0; // the result in units of 10^Lowest
    for (int I = 0; I < Kept; ++I) {
        Units = Units * 10 + (Digits[static_cast<std::size_t>(I)] - '0');
    }
    if (Kept >= 0 && Digits[static_cast<std::size_t>(Kept)] >= '5') {
        ++Units;
    }
    // Thousandths as decimal text: the units followed by Lowest + 3 zeros.
    std::string Text =
        std::to_string(Units) + std::string(static_cast<std::size_t>(Lowest + 3), '0');
    if (Text.size() < 4) {
        Text.insert(0, 4 - Text.size(), '0');
    }
    Text.insert(Text.size() - 3, ".");
    if (Value < 0 && Units != 0) {
        Text.insert(0, "-");
    }
    return Text;
}

} // namespace

// TConvParams

TConvParams::TConvParams(const char* FixedExt, std::string DefaultOutDir)
    : OutDir(std::move(DefaultOutDir)), FileExt(FixedExt), FFixedExt(FixedExt) {}

void TConvParams::AssignParams(const TConvParams& Source) {
    OutDir = Source.OutDir;
    FileExt = Source.FileExt;
    if (FFixedExt != nullptr) {
        FileExt = FFixedExt;
    }
}

void TConvParams::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    OutDir = Ini.ReadString(Section, "OutDir", "");
    FileExt = Ini.ReadString(Section, "FileExt", "*");
}

void TConvParams::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    Ini.WriteString(Section, "OutDir", OutDir);
    Ini.WriteString(Section, "FileExt", FileExt);
}

void TConvParams::PrepareDirectories(const std::string& /*WatchedDir*/) const {
    CreateDirWithRights(OutDir);
}

// TConvParamsBrickstream

TConvParamsBrickstream::TConvParamsBrickstream()
    : TConvParams("dat", WindowsDrive() + "/MERVANTO/zalmoret") {}

void TConvParamsBrickstream::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsBrickstream*>(&Source)) {
        ZeroExits = S->ZeroExits;
        UseShopId = S->UseShopId;
        ShopId = S->ShopId;
    }
}

void TConvParamsBrickstream::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    const TConvParamsBrickstream D;
    ZeroExits = Ini.ReadBool(Section, "ZeroExits", D.ZeroExits);
    UseShopId = Ini.ReadBool(Section, "UseShopId", D.UseShopId);
    ShopId = Ini.ReadString(Section, "ShopId", D.ShopId);
}

void TConvParamsBrickstream::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "ZeroExits", ZeroExits);
    Ini.WriteBool(Section, "UseShopId", UseShopId);
    Ini.WriteString(Section, "ShopId", ShopId);
}

// TConvParamsBrickstreamRt

void TConvParamsBrickstreamRt::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsBrickstreamRt*>(&Source)) {
        UseShopId = S->UseShopId;
        ShopId = S->ShopId;
    }
}

void TConvParamsBrickstreamRt::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    const TConvParamsBrickstreamRt D;
    UseShopId = Ini.ReadBool(Section, "UseShopId", D.UseShopId);
    ShopId = Ini.ReadString(Section, "ShopId", D.ShopId);
}

void TConvParamsBrickstreamRt::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "UseShopId", UseShopId);
    Ini.WriteString(Section, "ShopId", ShopId);
}

// TConvParamsVrkSummarize

void TConvParamsVrkSummarize::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsVrkSummarize*>(&Source)) {
        DoorOnly = S->DoorOnly;
        StoreId = S->StoreId;
        ZeroExits = S->ZeroExits;
    }
}

void TConvParamsVrkSummarize::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    const TConvParamsVrkSummarize D;
    DoorOnly = Ini.ReadBool(Section, "DoorOnly", D.DoorOnly);
    StoreId = Ini.ReadString(Section, "StoreId", D.StoreId);
    ZeroExits = Ini.ReadBool(Section, "ZeroExits", D.ZeroExits);
}

void TConvParamsVrkSummarize::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "DoorOnly", DoorOnly);
    Ini.WriteString(Section, "StoreId", StoreId);
    Ini.WriteBool(Section, "ZeroExits", ZeroExits);
}

// TConvParamsVrkSimplif

void TConvParamsVrkSimplif::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsVrkSimplif*>(&Source)) {
        ZeroExits = S->ZeroExits;
    }
}

void TConvParamsVrkSimplif::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    ZeroExits = Ini.ReadBool(Section, "ZeroExits", TConvParamsVrkSimplif().ZeroExits);
}

void TConvParamsVrkSimplif::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "ZeroExits", ZeroExits);
}

// TConvParamsVrkNormalize

void TConvParamsVrkNormalize::Normalize() {
    if (Trim(StoreCode).empty()) {
        StoreCode = "001";
    }
    if (NoExits) {
        EXMerge = false;
    }
}

void TConvParamsVrkNormalize::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsVrkNormalize*>(&Source)) {
        EXMerge = S->EXMerge;
        NoExits = S->NoExits;
        StaffRemoval = S->StaffRemoval;
        StaffCoeffs = S->StaffCoeffs;
        StoreCode = S->StoreCode;
    }
}

void TConvParamsVrkNormalize::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    const TConvParamsVrkNormalize D;
    EXMerge = Ini.ReadBool(Section, "EXMerge", D.EXMerge);
    NoExits = Ini.ReadBool(Section, "NoExits", D.NoExits);
    StaffRemoval = Ini.ReadBool(Section, "StaffRemoval", D.StaffRemoval);
    for (std::size_t I = 0; I < StaffCoeffs.size(); ++I) {
        StaffCoeffs[I] = Ini.ReadInteger(Section, StaffCoeffKey(I), D.StaffCoeffs[I]);
    }
    StoreCode = Ini.ReadString(Section, "StoreCode", D.StoreCode);
    Normalize();
}

void TConvParamsVrkNormalize::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsVrkNormalize N;
    N.AssignParams(*this);
    N.Normalize();
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "EXMerge", N.EXMerge);
    Ini.WriteBool(Section, "NoExits", N.NoExits);
    Ini.WriteBool(Section, "StaffRemoval", N.StaffRemoval);
    for (std::size_t I = 0; I < N.StaffCoeffs.size(); ++I) {
        Ini.WriteInteger(Section, StaffCoeffKey(I), N.StaffCoeffs[I]);
    }
    Ini.WriteString(Section, "StoreCode", N.StoreCode);
}

void TConvParamsVrkNormalize::PrepareDirectories(const std::string& WatchedDir) const {
    TConvParams::PrepareDirectories(WatchedDir);
    CreateRawCopyDir(WatchedDir);
}

// TConvParamsCorrection

void TConvParamsCorrection::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsCorrection*>(&Source)) {
        Correction = S->Correction;
    }
}

void TConvParamsCorrection::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    Correction = StrToCoeffs(Ini.ReadString(Section, "Correction", "1.0 1.0 1.0 1.0 1.0 1.0 1.0"));
}

void TConvParamsCorrection::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteString(Section, "Correction", CoeffsToStr(Correction));
}

void TConvParamsCorrection::PrepareDirectories(const std::string& WatchedDir) const {
    TConvParams::PrepareDirectories(WatchedDir);
    CreateRawCopyDir(WatchedDir);
}

// TConvParamsWithTimeFilter

void TConvParamsWithTimeFilter::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsWithTimeFilter*>(&Source)) {
        CurrDayOnly = S->CurrDayOnly;
        UseTimeFilter = S->UseTimeFilter;
        QtrStart = S->QtrStart;
        QtrStop = S->QtrStop;
    }
}

void TConvParamsWithTimeFilter::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    const TConvParamsWithTimeFilter D;
    CurrDayOnly = Ini.ReadBool(Section, "CurrDayOnly", D.CurrDayOnly);
    UseTimeFilter = Ini.ReadBool(Section, "UseTimeFilter", D.UseTimeFilter);
    QtrStart = Ini.ReadInteger(Section, "QtrStart", D.QtrStart);
    QtrStop = Ini.ReadInteger(Section, "QtrStop", D.QtrStop);
}

void TConvParamsWithTimeFilter::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "CurrDayOnly", CurrDayOnly);
    Ini.WriteBool(Section, "UseTimeFilter", UseTimeFilter);
    Ini.WriteInteger(Section, "QtrStart", QtrStart);
    Ini.WriteInteger(Section, "QtrStop", QtrStop);
}

// TConvParamsOdeis

void TConvParamsOdeis::AssignParams(const TConvParams& Source) {
    TConvParamsWithTimeFilter::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsOdeis*>(&Source)) {
        StoreCode = S->StoreCode;
    }
}

void TConvParamsOdeis::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParamsWithTimeFilter::LoadFromIni(Ini, Section);
    StoreCode =
        NormalizeOdeisStoreCode(Ini.ReadString(Section, "StoreCode", TConvParamsOdeis().StoreCode));
}

void TConvParamsOdeis::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsWithTimeFilter::SaveToIni(Ini, Section);
    Ini.WriteString(Section, "StoreCode", StoreCode);
}

// TConvParamsCheckpoint

void TConvParamsCheckpoint::AssignParams(const TConvParams& Source) {
    TConvParamsWithTimeFilter::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsCheckpoint*>(&Source)) {
        CounterId = S->CounterId;
    }
}

void TConvParamsCheckpoint::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParamsWithTimeFilter::LoadFromIni(Ini, Section);
    CounterId = Ini.ReadString(Section, "CounterId", TConvParamsCheckpoint().CounterId);
}

void TConvParamsCheckpoint::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsWithTimeFilter::SaveToIni(Ini, Section);
    Ini.WriteString(Section, "CounterId", CounterId);
}

// TConvParamsCegid

TConvParamsCegid::TConvParamsCegid()
    : TConvParamsWithTimeFilter("vrk", WindowsDrive() + "/Zalmoret/CEGID") {}

void TConvParamsCegid::AssignParams(const TConvParams& Source) {
    TConvParamsWithTimeFilter::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsCegid*>(&Source)) {
        ShopId = S->ShopId;
        Code = S->Code;
        RetailMode = S->RetailMode;
    }
}

void TConvParamsCegid::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParamsWithTimeFilter::LoadFromIni(Ini, Section);
    const TConvParamsCegid D;
    ShopId = Ini.ReadString(Section, "ShopId", D.ShopId);
    Code = Ini.ReadString(Section, "Code", D.Code);
    RetailMode = Ini.ReadBool(Section, "RetailMode", D.RetailMode);
}

void TConvParamsCegid::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsWithTimeFilter::SaveToIni(Ini, Section);
    Ini.WriteString(Section, "ShopId", ShopId);
    Ini.WriteString(Section, "Code", Code);
    Ini.WriteBool(Section, "RetailMode", RetailMode);
}

// TConvParamsGenerix

TConvParamsGenerix::TConvParamsGenerix()
    : TConvParamsWithTimeFilter("vrk", WindowsDrive() + "/AGIL/AGILStore/FRQ/Vidage") {}

// TConvParamsAce

void TConvParamsAce::AssignParams(const TConvParams& Source) {
    TConvParamsWithTimeFilter::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsAce*>(&Source)) {
        DaylikeOut = S->DaylikeOut;
    }
}

void TConvParamsAce::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParamsWithTimeFilter::LoadFromIni(Ini, Section);
    DaylikeOut = Ini.ReadBool(Section, "DaylikeOut", TConvParamsAce().DaylikeOut);
}

void TConvParamsAce::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsWithTimeFilter::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "DaylikeOut", DaylikeOut);
}

// TConvParamsCylande

TConvParamsCylande::TConvParamsCylande()
    : TConvParamsWithTimeFilter("vrk", WindowsDrive() + "/winstore/data") {}

void TConvParamsCylande::AssignParams(const TConvParams& Source) {
    TConvParamsWithTimeFilter::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsCylande*>(&Source)) {
        NoDateSeparator = S->NoDateSeparator;
        Scale15min = S->Scale15min;
    }
}

void TConvParamsCylande::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParamsWithTimeFilter::LoadFromIni(Ini, Section);
    const TConvParamsCylande D;
    NoDateSeparator = Ini.ReadBool(Section, "NoDateSeparator", D.NoDateSeparator);
    Scale15min = Ini.ReadBool(Section, "Scale15min", D.Scale15min);
}

void TConvParamsCylande::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsWithTimeFilter::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "NoDateSeparator", NoDateSeparator);
    Ini.WriteBool(Section, "Scale15min", Scale15min);
}

// TConvParamsSoftTouch

void TConvParamsSoftTouch::AssignParams(const TConvParams& Source) {
    TConvParamsWithTimeFilter::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsSoftTouch*>(&Source)) {
        NoDateSeparator = S->NoDateSeparator;
        LocationName = S->LocationName;
        LocationId = S->LocationId;
    }
}

void TConvParamsSoftTouch::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParamsWithTimeFilter::LoadFromIni(Ini, Section);
    const TConvParamsSoftTouch D;
    NoDateSeparator = Ini.ReadBool(Section, "NoDateSeparator", D.NoDateSeparator);
    LocationName = Ini.ReadString(Section, "LocationName", D.LocationName);
    LocationId = Ini.ReadString(Section, "LocationId", D.LocationId);
}

void TConvParamsSoftTouch::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsWithTimeFilter::SaveToIni(Ini, Section);
    Ini.WriteBool(Section, "NoDateSeparator", NoDateSeparator);
    Ini.WriteString(Section, "LocationName", LocationName);
    Ini.WriteString(Section, "LocationId", LocationId);
}

// TConvParamsWithRawOutput

void TConvParamsWithRawOutput::AssignParams(const TConvParams& Source) {
    TConvParams::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsWithRawOutput*>(&Source)) {
        RawOutDir = S->RawOutDir;
    }
}

void TConvParamsWithRawOutput::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParams::LoadFromIni(Ini, Section);
    RawOutDir = Ini.ReadString(Section, "RawOutDir", "");
}

void TConvParamsWithRawOutput::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParams::SaveToIni(Ini, Section);
    Ini.WriteString(Section, "RawOutDir", RawOutDir);
}

void TConvParamsWithRawOutput::PrepareDirectories(const std::string& WatchedDir) const {
    TConvParams::PrepareDirectories(WatchedDir);
    CreateDirWithRights(RawOutDir);
}

// TConvParamsXlSoft

void TConvParamsXlSoft::AssignParams(const TConvParams& Source) {
    TConvParamsWithRawOutput::AssignParams(Source);
    if (const auto* S = dynamic_cast<const TConvParamsXlSoft*>(&Source)) {
        QtrStart = S->QtrStart;
        QtrStop = S->QtrStop;
        SliceSize = S->SliceSize;
    }
}

void TConvParamsXlSoft::LoadFromIni(const TIniFile& Ini, std::string_view Section) {
    TConvParamsWithRawOutput::LoadFromIni(Ini, Section);
    const TConvParamsXlSoft D;
    QtrStart = Ini.ReadInteger(Section, "QtrStart", D.QtrStart);
    QtrStop = Ini.ReadInteger(Section, "QtrStop", D.QtrStop);
    SliceSize = Ini.ReadInteger(Section, "SliceSize", D.SliceSize);
    if (SliceSize != 1 && SliceSize != 30 && SliceSize != 60) {
        SliceSize = 30;
    }
}

void TConvParamsXlSoft::SaveToIni(TIniFile& Ini, std::string_view Section) const {
    TConvParamsWithRawOutput::SaveToIni(Ini, Section);
    Ini.WriteInteger(Section, "QtrStart", QtrStart);
    Ini.WriteInteger(Section, "QtrStop", QtrStop);
    Ini.WriteInteger(Section, "SliceSize", SliceSize);
}

// Shared helpers

void CreateDirWithRights(const std::string& Dir) {
    if (Dir.empty()) {
        return;
    }
    std::string Context = "Create directory " + Dir;
    try {
        ForceDirectories(Dir);
        Context = "Set access rights to " + Dir;
        GrantEveryoneAccess(Dir); // a directory whose rights stay as they are still works
    } catch (const std::exception& E) {
        throw EOSError(Context + ": " + E.what());
    }
}

std::string WindowsDrive() {
    const char* Drive = std::getenv("TARNO_DRIVE");
    return Drive != nullptr ? Drive : "";
}

TWeekCoeffs StrToCoeffs(std::string_view Text) {
    TWeekCoeffs Coeffs{1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    std::string Collapsed = CollapseBlanks(Text);
    std::string_view Rest = Collapsed;
    for (double& Coeff : Coeffs) {
        std::size_t Blank = Rest.find(' ');
        std::string_view Piece = Rest.substr(0, Blank);
        Coeff = TryStrToFloat(Piece).value_or(1.0);
        if (Blank == std::string_view::npos) {
            break;
        }
        Rest.remove_prefix(Blank + 1);
    }
    return Coeffs;
}

std::string CoeffsToStr(const TWeekCoeffs& Coeffs) {
    std::string Text;
    for (double Coeff : Coeffs) {
        if (!Text.empty()) {
            Text += ' ';
        }
        Text += CoeffToStr(Coeff);
    }
    return Text;
}

std::string ZeroPadLeft(std::string_view Text, int Width) {
    if (Width <= 0) {
        return "";
    }
    std::string Padded(static_cast<std::size_t>(Width - 1), '0');
    Padded += Text.empty() ? std::string_view("1") : Text;
    return Padded.substr(Padded.size() - static_cast<std::size_t>(Width));
}
