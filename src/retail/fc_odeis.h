// ODEIS: the quarter-hour entries of a counting data file, up to four entry channels, put into
// the cumulative file "zalmoret_client_<StoreCode>.txt" of Params.OutDir, sorted by store, date
// and time.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// One line per quarter-hour with data (within the time filter): StoreCode, "dd/mm/yyyy",
// "hh:nn", then the counts of the first four active entry channels (0 for missing ones), TAB
// separated; a line of the same store, date and time is replaced. Returns true, also when
// FileName does not exist; raises EOSError and "Output directory not set".
bool ConvertOdeis(const std::string& FileName, TConvParams& Params);
