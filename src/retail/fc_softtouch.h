// SOFTTOUCH: the hourly entries and exits of the entrance doors of a counting data file, put
// into the cumulative file "teller.txt" of Params.OutDir.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// One line per hour with data (within the time filter, dated at most today):
// "LocationName,LocationId,ddmmyyyy,hh:00,Ingang,Ingang,entries,exits" (the date
// "dd-mm-yyyy" without NoDateSeparator); a line of the same location, date and hour is
// replaced. With CurrDayOnly only today's file is converted. Returns true, also when FileName
// does not exist; raises EOSError (a failed write fails the conversion) and "Output directory
// not set".
bool ConvertSoftTouch(const std::string& FileName, TConvParams& Params);
