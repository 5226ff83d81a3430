// An ascending list of times of day in whole seconds, the times of the exact-time schedule.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/datetime.h"

class TTimeList {
public:
    TTimeList() = default;
    explicit TTimeList(std::string_view Text); // SetText(Text, ':')

    // Replaces the items by the blank-separated times of Text ("h:m" or "h:m:s"), sorted.
    // Raises EConvertError "Wrong time value \"<token>\"" for a bad token; the items appended
    // before it stay, unsorted.
    void SetText(std::string_view Text, char Separator = ':');
    // Replaces the items by every valid time of Text, sorted, skipping the bad tokens; answers
    // the message SetText raises for the first bad token, or "" when every token is valid.
    std::string SetValidText(std::string_view Text, char Separator = ':');
    // "hh:nn" of each item, joined by one blank; seconds are not written.
    std::string GetText(char Separator = ':') const;
    int Count() const { return static_cast<int>(FItems.size()); }
    const std::vector<int32_t>& Items() const { return FItems; }

    // The item nearest to the time of day of T (earlier item on a tie) as a fraction of a day;
    // -1/86400 for an empty list.
    TDateTime Nearest(TDateTime T) const;
    // The first item strictly after the time of day of T as a fraction of a day, or -1.
    TDateTime NextAfter(TDateTime T) const;

private:
    // Parses the tokens of Text into the items, sorted; with StopAtError the first bad token ends
    // the parse and leaves the items before it unsorted. Answers the first bad token's message.
    std::string ParseTokens(std::string_view Text, char Separator, bool StopAtError);

    std::vector<int32_t> FItems; // seconds since midnight, 0..86399
};
