// ACURITY: a point-of-sale journal of TAB-separated measures (customers "CUST", articles "STUK",
// turnover "XOMZ" per store and hour) merged into the hourly sales tables of Params.OutDir.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// Lines: store, value, measure code, date-time "dd/mm/yyyy hh...". Lines whose date or hour
// cannot be read are skipped; an hour outside 0..23 counts as hour 0. Returns true; raises
// EOSError when the journal cannot be read, EConvertError for a value that is not a number (the
// days merged before stay merged) and the errors of MergeDayTable.
bool ConvertAcurity(const std::string& FileName, TConvParams& Params);
