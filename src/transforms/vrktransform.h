// Pieces shared by the transforms of counting data files: reading a file once into its header
// and day, output paths, the raw copies of rewritten inputs and the one-door "KT9" header.
#pragma once

#include <string>

#include "common/errors.h"
#include "common/utils.h"
#include "config/fcsconvparams.h"

class TVrkConfig;
struct TVrkDay;

// The input of a transform that writes into OutDir: false when FileName is gone; otherwise
// OutPath := OutputPath(OutDir, FileName) (raising "Output directory not set" for an empty
// OutDir before anything is read), FileName is made writable and read into Header and Day.
bool ReadTransformInput(const std::string& FileName, const std::string& OutDir,
                        std::string& OutPath, TVrkConfig& Header, TVrkDay& Day);

// Copies FileName, unchanged, into the "compteursbrut" subdirectory of its directory (created
// when missing). Raises EOSError: an input is only rewritten once its raw copy is safe.
void CopyRawInput(const std::string& FileName);

// A "KT9" header with every door undefined and unnamed and every channel inactive, channels
// 2k-1 and 2k being the entry and exit channels of door k; Flags 0.
void ResetToEmptyKt9(TVrkConfig& Header);

// ResetToEmptyKt9, then door 1 defined as "Porte" with its entry and exit channels 1 and 2 active:
// the header of the door totals that summaries and simplifications write.
void ResetToDoorTotals(TVrkConfig& Header);
