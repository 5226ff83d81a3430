// The conversion types: the one table of type codes, the names stored in the configuration file
// and the parameter class of each type. The service adds the converter entry of each code.
#pragma once

#include <memory>
#include <span>
#include <string>

#include "config/fcsconvparams.h"

// The codes of the conversion types, as stored in the configuration object.
enum TConvTypeCode : int {
    ctNone = 0,
    ctAce = 1,
    ctAcurity = 2,
    ctAemsofts = 3,
    ctBizPlu = 4,
    ctBrickstream = 5,
    ctBrickstreamChld = 6,
    ctBrickstreamRt = 7,
    ctCboxRt = 8,
    ctCorrection = 9,
    ctCroma = 10,
    ctOdeis = 11,
    ctVrkMerge = 12,
    ctVrkCbx = 13,
    ctVrkNormalize = 14,
    ctVrkSummarize = 15,
    ctXlSoft = 16,
    ctCegid = 17,
    ctCheckpoint = 18,
    ctGenerix = 19,
    ctCylande = 20,
    ctSoftTouch = 21,
    ctWinparf = 22,
};

// A converter: converts FileName with the slot's parameters, true for success; raises on errors.
using TConvertEntry = bool (*)(const std::string& FileName, TConvParams& Params);

struct TConvTypeInfo {
    int Code;
    const char* Name;                         // as stored under "ConvType"
    std::unique_ptr<TConvParams> (*Create)(); // a parameter object with the class defaults
};

// Every conversion type in code order, NONE first; the entry of code C is at index C.
std::span<const TConvTypeInfo> ConvTypeTable();
// The entry of Code; null for a code outside the table.
const TConvTypeInfo* FindConvType(int Code);
