// VRK_CBX: a counting file of any model reduced to a one-door "KT9" file: all entries of all
// active channels, and all exits, whatever the door types.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// Writes the reduced file under the same name into Params.OutDir. False when FileName does not
// exist; raises on file errors, for an empty OutDir and for a file without data rows.
bool SimplifyFile(const std::string& FileName, TConvParams& Params);
