// The statistics of the service as the console and tarnoctl show them.
#pragma once

#include <cstdint>
#include <string>

#include "common/datetime.h"
#include "pipe/ft_protocol.h"

// "dd.mm.yyyy hh:nn:ss".
std::string SystemTimeText(const TSystemTime& Time);
// A counter right-aligned in 12 characters with the thousands separator of LC_NUMERIC.
std::string CounterText(uint64_t Value);
// "major.minor.release".
std::string VersionText(const TRorozoraSrvStats& Stats);
// "traité sans erreurs - <ok>, avec les erreurs - <bad>, en h:mm:ss:zzz".
std::string LastGroupText(const TRorozoraSrvStats& Stats);
// "<time> (dans <n> sec)": n = whole seconds between NextCheckAt and Now, absolute.
std::string NextCheckText(const TSystemTime& NextCheckAt, TDateTime Now);
