// BIZPLU: the receipt lines ("T...", fields separated by "#") of a point-of-sale journal merged
// into the hourly sales tables of Params.OutDir, every hour under store "001".
#pragma once

#include <string>

#include "config/fcsconvparams.h"

// Receipt line fields: 3 the date "yyyymmdd", 4 the time (hour in its first two characters),
// 13 the amount in hundredths, 14 the number of articles. A line with a field that cannot be
// read is skipped; an hour above 23 counts as hour 0. Returns true; raises EOSError when the
// journal cannot be read and the errors of MergeDayTable.
bool ConvertBizPlu(const std::string& FileName, TConvParams& Params);
