// GENERIX: the in and out counts of every defined door per half-hour of a counting data file,
// put into the day's cumulative file "mmdd0000.zul" of Params.OutDir.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// One line per defined door and half-hour with data (within the time filter): door number,
// "dd/mm/yyyy", "hh:00" or "hh:30", in count "%4.4d", out count "%4.4d" (the in count again
// for a door with a halved channel among channels 1 to 4), "1"; TAB separated. A line of the
// same door, date and half-hour is replaced. An error once the day is known is appended to
// "mmdd0000.err" beside the file and the conversion still succeeds. Returns true, also when
// FileName does not exist; raises "Output directory not set" for an empty OutDir.
bool ConvertGenerix(const std::string& FileName, TConvParams& Params);
