// The store trees of CROMA: the counting data files of every store's "zalmoret" directory are
// read and loaded; nothing is written.
#pragma once

#include <string>

class TConvParams;

// Params must be a TConvParamsCroma. True; a missing file is left alone. Read errors propagate.
bool ConvertCroma(const std::string& FileName, TConvParams& Params, const std::string& StoreName);
