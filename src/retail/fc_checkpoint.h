// The export of quarter-hour counts to a Checkpoint system (CHECKPOINT): every conversion of a
// counting data file writes a new file "Checkpt<store><yyyymmddhhnnsszzz>.txt" in the output
// directory with one line per quarter-hour: store, counter, date, time, the counts of the first
// six entry channels and of the first six exit channels.
#pragma once

#include <string>

class TClock;
class TConvParams;

// Params must be a TConvParamsCheckpoint. True; a missing file writes nothing. A file name
// already taken gets the suffix "_1", "_2", ... (nothing is overwritten). Errors reading or
// writing propagate.
bool ConvertCheckpoint(const std::string& FileName, TConvParams& Params);
bool ConvertCheckpoint(const std::string& FileName, TConvParams& Params, const TClock& Clock);
