// The export of counting data to a Cegid back office (CEGID): per entrance door and complete
// quarter-hour one fixed-layout line appended to "ZALMORET.TXT" in the output directory, once,
// and again when its figures change; the export index "index/index_cegid.txt" remembers what
// was delivered, "ZALMORET.ERR" receives the errors, and the interface program
// "winvrk_cegidpgi.exe" is kept equal in size to the home's "stub.exe".
#pragma once

#include <string>
#include <vector>

#include "common/datetime.h"
#include "data/qtrrecords.h"

class TClock;
class TConvParams;
class TVrkConfig;

// Copies StubDir's "stub.exe" to OutDir's "winvrk_cegidpgi.exe" when their sizes differ;
// nothing without a "stub.exe". Errors are ignored.
void DeployCegidInterface(const std::string& OutDir, const std::string& StubDir);
// The dispatch's step before every CEGID file: the same with the home's "stub.exe".
void PrepareCegid(TConvParams& Params);

// Params must be a TConvParamsCegid. True on success; a missing file is a success. False when
// the index or "ZALMORET.TXT" could not be read or written (after an error line); errors reading
// the counting file and "Output directory not set" propagate.
bool ConvertCegid(const std::string& FileName, TConvParams& Params);
bool ConvertCegid(const std::string& FileName, TConvParams& Params, const TClock& Clock);

// Records Records in the index and exports the complete pending quarter-hours. 0 on success,
// 5 after an error line with code 5.
int ExportCegidRecords(const std::vector<TQtrRecord>& Records, const TVrkConfig& Config,
                       const std::string& OutDir, const std::string& Code,
                       const std::string& ShopId, bool RetailMode, const TClock& Clock);

// The line "dd/mm/yyyy hh:nn:ss <Code> <Message>" appended to "ZALMORET.ERR"; never raises.
void AppendCegidError(int Code, const std::string& Message, const std::string& OutDir,
                      TDateTime Now);
