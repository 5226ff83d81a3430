// The converter of each conversion type: the entry column of the one table of types (the codes,
// names and parameter classes live in config/convtypes.h). The dispatch, `tarno convert` and the
// chain listing read the rows; nothing else looks at a type code.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "config/convtypes.h"

// A converter that also takes the store name of its chain entry (the store trees of CROMA).
using TConvertStoreEntry = bool (*)(const std::string& FileName, TConvParams& Params,
                                    const std::string& StoreName);

struct TConverter {
    int Code = ctNone;
    TConvertEntry Entry = nullptr;           // the converter, or
    TConvertStoreEntry StoreEntry = nullptr; // the converter that takes the store name
    // Runs before every file with the slot's parameters (CEGID deploys its interface program).
    void (*Prepare)(TConvParams& Params) = nullptr;
    // Only a file of this name (case ignored) is converted; any other counts as done at once.
    const char* OnlyFileName = nullptr;
    // The watched directory holds store trees: each store's "zalmoret" subdirectory is listed.
    bool StoreTrees = false;
    // The converter rewrites its input file: the status file records it as rewritten.
    bool RewritesInput = false;
    // The converter keeps "ZALMORET.TXT" and an index without store in its output directory,
    // so no other such slot may write into the same one.
    bool OwnsOutDir = false;
};

// The rows, in no particular order; a code has at most one row.
std::span<const TConverter> ConverterTable();
// The row of Code (codes outside 1..22 are NONE); null when the type has no row. A row without
// Entry and StoreEntry lists its chains but has no converter built in yet.
const TConverter* FindConverter(int Code);
// True when this build converts the files of type Code (its row has a converter).
bool HasConverter(int Code);

class TZirConfig;

// One line per pair of slots with a watched directory whose converters own their output
// directory and whose OutDir is the same ("slots 2 and 5 (CEGID, ACE) share the output
// directory DIR"); none when every such slot has its own.
std::vector<std::string> SharedOutDirWarnings(const TZirConfig& Config);

// NONE: copies FileName into Params.OutDir, replacing an older copy and keeping the file's
// modification time. Raises ETarnoError "Output directory not set" for an empty OutDir and
// EOSError with the reason when the copy fails (the dispatch logs it and counts the file bad).
bool CopyToOutDir(const std::string& FileName, TConvParams& Params);
