// The importers of Brickstream sensor exports into counting data files, one file "yymmdd.vrk" per
// day in the slot's output directory: interval counts (BRICKSTREAM), interval counts with zone
// types and children (BRICKSTREAM-CHLD), both merged into the existing day files, and running
// counters (BRICKSTREAM-RT), which rebuild the day file from each input file.
#pragma once

#include <string>

class TConvParams;

// Params must be a TConvParamsBrickstream; TConvParamsBrickstreamChld for the child variant,
// TConvParamsBrickstreamRt for the running counters. Each answers true. Raise EOSError when the
// input cannot be read or a day file cannot be read or written, ETarnoError "Output directory not
// set" for an empty OutDir. A missing input file imports nothing.
bool ImportBrickstream(const std::string& FileName, TConvParams& Params);
bool ImportBrickstreamChild(const std::string& FileName, TConvParams& Params);
bool ImportBrickstreamRt(const std::string& FileName, TConvParams& Params);
