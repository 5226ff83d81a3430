// XLSOFT: the cash-register export "bocaisse.txt" (receipts and turnover per time slice of a
// day) summed per hour into the hourly sales tables of Params.OutDir, with a cumulative copy of
// every line kept in Params.RawOutDir.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// Lines: field 1 the date "yyyymmdd", 2 the slice number (slices of SliceSize minutes from
// QtrStart), 3 the receipts, 4 the turnover ("," or "." as decimal separator). Lines outside
// QtrStart..QtrStop (plus one slice) or that cannot be read are skipped; every non-empty line
// is put into the copy named as the file in RawOutDir. The tables carry no store code. Returns
// true; raises EOSError, "Output directory not set" for an empty OutDir or RawOutDir, and the
// errors of MergeDayTable (the copy is then not saved).
bool ConvertXlSoft(const std::string& FileName, TConvParams& Params);
