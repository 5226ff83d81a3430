// Pieces shared by the transforms of counting data files: reading a file once into its header
// and day, output paths, the raw copies of rewritten inputs and the one-door "KT9" header.
#pragma once

#include <cstdint>
#include <string>

#include "common/datetime.h"

#include "common/errors.h"
#include "common/utils.h"
#include "config/fcsconvparams.h"

class TVrkConfig;
struct TVrkDay;
struct TReadFile;

// The input of a transform that writes into OutDir: false when FileName is gone; otherwise
// OutPath := OutputPath(OutDir, FileName) (raising "Output directory not set" for an empty
// OutDir before anything is read), FileName is made writable and read into Header and Day.
bool ReadTransformInput(const std::string& FileName, const std::string& OutDir,
                        std::string& OutPath, TVrkConfig& Header, TVrkDay& Day);

// Copies FileName, unchanged, into the "compteursbrut" subdirectory of its directory (created
// when missing), from Read, the bytes read from it for the conversion (so that the copy holds
// what was converted). Raises EOSError: an input is only rewritten once its raw copy is safe.
void CopyRawInput(const std::string& FileName, const TReadFile& Read);

// Day buffers of the transforms, made once per thread and reused from file to file: Index 0 and
// 1 (a day read and a day written), 2 (a raw copy's day).
TVrkDay& TransformDay(int Index);

// The size and modification time of an input as a transform reads it.
struct TInputStamp {
    int64_t Size = -1;
    TDateTime TimeUtc = 0;
};
TInputStamp StampInput(const std::string& FileName);
// Raises ETarnoError "File \"<FileName>\" changed while it was converted" when FileName no
// longer has Stamp: a transform that rewrites its input would lose what was added since it read
// it. The file is offered again at the next pass.
void CheckInputUnchanged(const std::string& FileName, const TInputStamp& Stamp);

// A "KT9" header with every door undefined and unnamed and every channel inactive, channels
// 2k-1 and 2k being the entry and exit channels of door k; Flags 0.
void ResetToEmptyKt9(TVrkConfig& Header);

// ResetToEmptyKt9, then door 1 defined as "Porte" with its entry and exit channels 1 and 2 active:
// the header of the door totals that summaries and simplifications write.
void ResetToDoorTotals(TVrkConfig& Header);
