// Pieces shared by the transforms of counting data files: reading a file once into its header
// and day, output paths, the raw copies of rewritten inputs and the one-door "KT9" header.
#pragma once

#include <string>

#include "common/errors.h"
#include "config/fcsconvparams.h"

class TVrkConfig;
struct TVrkDay;

// Params as the parameter class of a converter; raises EConvertError for another class.
template <class T>
T& ParamsAs(TConvParams& Params) {
    T* Result = dynamic_cast<T*>(&Params);
    if (Result == nullptr) {
        throw EConvertError("Attempt to assign wrong object to TConvParams.");
    }
    return *Result;
}

// The name of FileName without its directory.
std::string FileNamePart(const std::string& FileName);

// OutDir + "/" + the name of FileName. Raises ETarnoError "Output directory not set" for an
// empty OutDir, so that nothing is written to the root.
std::string OutputPath(const std::string& OutDir, const std::string& FileName);

// Reads FileName once: its header into Header, its rows into Day. Raises EOSError when the file
// cannot be read; the content itself never makes it fail.
void ReadCountingFile(const std::string& FileName, TVrkConfig& Header, TVrkDay& Day);

// Copies FileName, unchanged, into the "compteursbrut" subdirectory of its directory (created
// when missing). Raises EOSError: an input is only rewritten once its raw copy is safe.
void CopyRawInput(const std::string& FileName);

// A "KT9" header with every door undefined and unnamed and every channel inactive, channels
// 2k-1 and 2k being the entry and exit channels of door k; Flags 0.
void ResetToEmptyKt9(TVrkConfig& Header);
