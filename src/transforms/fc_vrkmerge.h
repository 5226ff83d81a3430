// VRKMERGE: the counting files of several stores (or devices) of one day gathered into one file.
// Each active source channel that counted something gets a merged channel named after its source
// and keeps it from merge to merge; doors are shared between sources by name.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "config/fcsconvparams.h"

// CRC-32, reflected, polynomial 0x9DB11213, initial value and final XOR 0xFFFFFFFF.
uint32_t MergeCrc32(std::string_view Bytes);

// The key of the source directory of FileName: "%8.8X" of the CRC of the directory path (with
// its trailing "/", blanks removed, upper case), ":", and the source name (the directory's last
// component, or the one above it when that is "ZALMORET" or "VRK").
std::string MergeSourceKey(const std::string& FileName);

// Merges FileName into the file of the same name in Params.OutDir. False when FileName does not
// exist; raises on file errors, for an empty OutDir and when the merged day has no data.
bool MergeFile(const std::string& FileName, TConvParams& Params);
