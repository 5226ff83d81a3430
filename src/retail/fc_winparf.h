// WINPARF_CAISSE: the hourly records of a cash register ("01" turnover, "02" customers, "03"
// articles; fields separated by ",") merged into the hourly sales tables of Params.OutDir.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// Fields: 0 the record type, 2 the date-time "dd/mm/yyyy hh...", 3 the value. Other record types
// and lines that cannot be read are skipped; an hour outside 0..23 counts as hour 23; only
// positive counts and non-zero turnovers are added. Returns true; raises EOSError when the file
// cannot be read and the errors of MergeDayTable.
bool ConvertWinparf(const std::string& FileName, TConvParams& Params);
