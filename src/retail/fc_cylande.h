// The export of counting data to a Cylande back office (CYLANDE): per door and complete slot of
// 30 minutes (15 with Scale15min) the line "ddmmyyyy;hh:nn;door;in;out" appended to
// "ZALMORET.TXT" in the output directory, once, and again when its figures change. The export
// index "index_cylande.txt" beside it sums the quarter-hours of a slot; "ZALMORET.ERR" receives
// the errors. A quarter-hour that the device may still be counting (its start plus 17 minutes
// is after the file's "#M" update time) is held back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"
#include "data/qtrrecords.h"

class TClock;
class TConvParams;
class TVrkConfig;

// Params must be a TConvParamsCylande. True on success (also for a missing file or, with
// CurrDayOnly, a file of another day); false when the index or "ZALMORET.TXT" could not be read
// or written (after a report with code 21 for the record step). Errors reading the counting file
// and of the export step propagate.
bool ConvertCylande(const std::string& FileName, TConvParams& Params);
bool ConvertCylande(const std::string& FileName, TConvParams& Params, const TClock& Clock);

// Records Records in the index: per defined door its number, its in count and its out count
// (the in count again for a door without exit channel or when channels 1 to 4 are all halved).
// Halved channels ("#R" digit 2 in Flags) count half, their remainders carried from record to
// record. OutputName := OutDir's "ZALMORET.TXT". 0, or 5 after a report with code 21.
int RecordCylande(const std::vector<TQtrRecord>& Records, const TVrkConfig& Config, uint32_t Flags,
                  bool Scale15min, std::string& OutputName, const std::string& OutDir,
                  TDateTime Now);

// The update time of a "#M" header line: the date and time "dd.mm.yyyy hh:nn" (or with "/")
// that ends the line; 0 when the line holds none.
TDateTime LastUpdateTime(std::string_view Line);

// Appends a report: "@dd/mm/yyyy hh:nn:ss", then per channel 1 to 4 "n<TAB>dd/mm/yyyy<TAB>
// hh:nn<TAB>0<TAB>0<TAB>Code"; never raises.
void AppendCylandeError(int Code, const std::string& OutDir, TDateTime Now);
