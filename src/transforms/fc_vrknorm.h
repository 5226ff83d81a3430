// VRKNORMALIZE: cleans a counting file in place or into OutDir: staff removal (a number of
// entries and exits per weekday taken out at random places), dropping exit channels, balancing
// each door's entries and exits; the store code of every row is always rewritten.
#pragma once

#include <string>

#include "config/fcsconvparams.h"

class TVrkConfig;
struct TVrkDay;

// The random draws of staff removal. The service never seeds from the clock, so the same files
// processed after a start give the same removals.
class TRandomSource {
public:
    virtual ~TRandomSource() = default;
    // A uniform integer in 0 .. Range - 1 (Range >= 1).
    virtual int Next(int Range) = 0;
};

// The process-wide generator (fixed seed), or the one set by SetStaffRandom.
TRandomSource& StaffRandom();
// Replaces the generator (tests); null restores the fixed-seed default.
void SetStaffRandom(TRandomSource* Source);

// Takes Count entries and Count exits out of Day one by one at random present slots, only where
// a count is positive and never more than the day holds.
void RemoveStaff(TVrkDay& Day, const TVrkConfig& Header, int Count, TRandomSource& Random);
// Gives both sides of every defined door with entry and exit channels half of each slot's total
// (rounded up), spread over the side's channels in channel order.
void MixEntriesExits(TVrkDay& Day, const TVrkConfig& Header);

// Always true when it returns (a missing file does nothing). Raises on file errors, when the raw
// copy of an input to be rewritten fails, and for a file without data rows.
bool NormalizeFile(const std::string& FileName, TConvParams& Params);
