// VRKSUMMARIZE: a counting file of any model becomes a "KT9" file of at most four channels, the
// entries and exits of entrance doors and of corridors.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// Writes the summary of FileName under the same name into Params.OutDir. False when FileName
// does not exist; raises on file errors, for an empty OutDir ("Output directory not set") and
// for a file without data rows ("Invalid argument to time encode").
bool SummarizeFile(const std::string& FileName, TConvParams& Params);
