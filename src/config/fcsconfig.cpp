#include "config/fcsconfig.h"

#include "common/errors.h"

namespace {

std::size_t SlotIndex(int Index) {
    if (Index < 0 || Index >= TBaseFtConfig::MaxDirectories) {
        throw ERangeError("Range check error");
    }
    return static_cast<std::size_t>(Index);
}

const TZirConfig& CheckedZirConfig(const TBaseFtConfig& Config) {
    const auto* Zir = dynamic_cast<const TZirConfig*>(&Config);
    if (Zir == nullptr) {
        throw EConvertError("Attemp to assign wront object to TBaseFtConfig.");
    }
    return *Zir;
}

} // namespace

TZirConfig::TZirConfig() {
    for (auto& P : Params) {
        P = CreateConvParams(ctNone);
    }
}

int TZirConfig::GetConvType(int Index) const {
    return ConvTypes[SlotIndex(Index)];
}

void TZirConfig::SetConvType(int Index, int Code) {
    std::size_t I = SlotIndex(Index);
    if (FindConvType(Code) == nullptr) {
        Code = ctNone;
    }
    if (Code != ConvTypes[I]) {
        ConvTypes[I] = Code;
        Params[I] = CreateConvParams(Code);
    }
}

TConvParams& TZirConfig::GetParams(int Index) {
    return *Params[SlotIndex(Index)];
}

const TConvParams& TZirConfig::GetParams(int Index) const {
    return *Params[SlotIndex(Index)];
}

const std::string& TZirConfig::GetOutDir(int Index) const {
    return GetParams(Index).OutDir;
}

const std::string& TZirConfig::GetFileExt(int Index) const {
    return GetParams(Index).FileExt;
}

std::string TZirConfig::GetChainTitle(int Index) const {
    return GetDirectory(Index) + "  (" + ConvTypeToText(GetConvType(Index)) + ")";
}

std::string TZirConfig::ConvTypeToText(int Code) {
    const TConvTypeInfo* Info = FindConvType(Code);
    return Info != nullptr ? Info->Name : "NONE";
}

int TZirConfig::TextToConvType(std::string_view Text) {
    for (const TConvTypeInfo& Info : ConvTypeTable()) {
        if (Text == Info.Name) {
            return Info.Code;
        }
    }
    return ctNone;
}

std::unique_ptr<TConvParams> TZirConfig::CreateConvParams(int Code) {
    const TConvTypeInfo* Info = FindConvType(Code);
    return Info != nullptr ? Info->Create() : std::make_unique<TConvParamsNone>();
}

void TZirConfig::Assign(const TBaseFtConfig& Source) {
    CopyFrom(CheckedZirConfig(Source));
}

void TZirConfig::AssignTo(TBaseFtConfig& Dest) const {
    CheckedZirConfig(Dest);
    Dest.CopyFrom(*this);
}

void TZirConfig::CopyFrom(const TBaseFtConfig& Source) {
    const TZirConfig& Zir = CheckedZirConfig(Source);
    if (&Zir == this) {
        return;
    }
    TBaseFtConfig::CopyFrom(Zir);
    for (std::size_t I = 0; I < Params.size(); ++I) {
        ConvTypes[I] = Zir.ConvTypes[I];
        Params[I] = CreateConvParams(ConvTypes[I]);
        Params[I]->Assign(*Zir.Params[I]);
    }
}

void TZirConfig::LoadFromIni(const TIniFile& Ini) {
    TBaseFtConfig::LoadFromIni(Ini);
    for (int Index = 0; Index < MaxDirectories; ++Index) {
        std::size_t I = static_cast<std::size_t>(Index);
        std::string Section = SectionName(Index);
        int Code = TextToConvType(Ini.ReadString(Section, "ConvType", "NONE"));
        ConvTypes[I] = Code;
        Params[I] = CreateConvParams(Code);
        Params[I]->LoadFromIni(Ini, Section);
    }
}

void TZirConfig::SaveToIni(TIniFile& Ini) const {
    TBaseFtConfig::SaveToIni(Ini);
    for (int Index = 0; Index < MaxDirectories; ++Index) {
        std::size_t I = static_cast<std::size_t>(Index);
        std::string Section = SectionName(Index);
        Ini.WriteString(Section, "ConvType", ConvTypeToText(ConvTypes[I]));
        Params[I]->SaveToIni(Ini, Section);
    }
}
