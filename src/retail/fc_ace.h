// The export of hourly entries to an ACE system (ACE): the entries through the entrance doors
// of every hour, one line "dd/mm/yyyy<TAB>hh<TAB>entries" per hour in "ZALMORET.TXT" (or, with
// DaylikeOut, in the file "yymmdd.txt" of the hour's day) in the output directory, kept sorted,
// a corrected hour replacing its line. The counting index "index/counting_index.txt" holds the
// newest hour back until a later hour exists; "ZALMORET.ERR" receives the errors.
#pragma once

#include <string>

#include "common/datetime.h"
#include "data/qtrrecords.h"

class TClock;
class TConvParams;

// Params must be a TConvParamsAce. True on success (a missing file too); false when the input,
// the index or an output file could not be read or written, after an error line with code 5.
// "Output directory not set" propagates.
bool ConvertAce(const std::string& FileName, TConvParams& Params);
bool ConvertAce(const std::string& FileName, TConvParams& Params, const TClock& Clock);

// Adds the hours of the slots of Range to the index and exports the waiting ones. 0, or 5 after
// an error line.
int ExportAceHours(const std::string& FileName, const std::string& OutDir, TSlotRange Range,
                   bool DaylikeOut, const TClock& Clock);

// The line "dd/mm/yyyy hh:nn:ss <Code> <Message>" appended to "ZALMORET.ERR"; never raises.
void AppendAceError(int Code, const std::string& Message, const std::string& OutDir, TDateTime Now);
