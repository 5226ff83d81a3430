// The configuration of the conversion service: the base settings and, for each of the 64 slots,
// a conversion type and the parameter object of that type, stored in the slot's section.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>

#include "config/convtypes.h"
#include "config/fcsconvparams.h"
#include "config/ftconfigbase.h"

// Owns one parameter object per slot, whose class always matches the slot's code. Index
// arguments outside 0..63 raise ERangeError.
class TZirConfig : public TBaseFtConfig {
public:
    TZirConfig(); // every slot NONE

    int GetConvType(int Index) const;
    // A different code replaces the slot's parameter object by one with the class defaults; a
    // code outside the table sets NONE.
    void SetConvType(int Index, int Code);
    TConvParams& GetParams(int Index);
    const TConvParams& GetParams(int Index) const;
    const std::string& GetOutDir(int Index) const;
    const std::string& GetFileExt(int Index) const;
    // Directory + two blanks + "(" + type name + ")".
    std::string GetChainTitle(int Index) const;

    // The stored name of Code; "NONE" for any code outside 1..22.
    static std::string ConvTypeToText(int Code);
    // The code of a stored name, compared exactly (case and blanks count); 0 for any other text.
    static int TextToConvType(std::string_view Text);
    // A new parameter object of Code's class; TConvParamsNone for a code outside 1..22.
    static std::unique_ptr<TConvParams> CreateConvParams(int Code);

    // Source / Dest must be a TZirConfig, else EConvertError
    // "Attemp to assign wront object to TBaseFtConfig." before anything is copied.
    void Assign(const TBaseFtConfig& Source) override;
    void AssignTo(TBaseFtConfig& Dest) const override;

    void CopyFrom(const TBaseFtConfig& Source) override;
    void LoadFromIni(const TIniFile& Ini) override;
    void SaveToIni(TIniFile& Ini) const override;

private:
    std::array<int, MaxDirectories> ConvTypes{};
    std::array<std::unique_ptr<TConvParams>, MaxDirectories> Params;
};
