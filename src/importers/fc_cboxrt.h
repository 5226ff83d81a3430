// The importer of CBOX counting device exports (CBOX-RT): one line per device channel and time,
// interval counts or running counters, turned into the counting data file "yymmdd.vrk" of the day
// in the slot's output directory, rebuilt from each input file.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

class TConvParams;

// One line of a CBOX export; the views point into the line.
struct TCboxLine {
    bool Absolute = false; // mode "A": the count of the interval; "I": a running counter
    std::string_view Zone;
    char ZoneType = 'D'; // D, C or P
    bool Exits = false;  // direction "X"; "E" enters
    bool Halved = false; // the channel counts every person twice
    int32_t Value = 0;
    std::string_view Device;
    std::string_view ChannelId; // at most 2 characters
    int64_t Second = 0;         // whole seconds since 1899-12-30 00:00
};

// Parses a ";" separated line: date, time, mode, zone, zone type, direction, halving, value,
// device, channel identifier; letters are compared exactly. False for a line to skip.
bool ParseCboxLine(std::string_view Line, TCboxLine& Reading);

// Params must be a TConvParamsCboxRt (only OutDir is used). Answers true; a missing input file
// imports nothing. Raises EOSError when the input cannot be read or the day file cannot be written,
// ETarnoError "Output directory not set" for an empty OutDir.
bool ImportCboxRt(const std::string& FileName, TConvParams& Params);
