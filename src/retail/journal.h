// What the readers of point-of-sale journals share: the dates and hours they take from fixed
// positions of a field, and the messages of values that are not numbers.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/datetime.h"

// The integer of the Count characters of Text from the 1-based position From (clamped to Text);
// false when they are not an integer.
bool IntAt(std::string_view Text, int From, int Count, int& Value);

// The date of Text from fixed positions (1-based, each with its length); false when a part is
// not an integer or they do not form a date.
struct TDatePositions {
    int DayFrom, DayLength, MonthFrom, MonthLength, YearFrom, YearLength;
};
bool DateAt(std::string_view Text, const TDatePositions& At, TDateTime& Day);

// "dd?mm?yyyy": day 1-2, month 4-5, year 7-10. "yyyymmdd": year 1-4, month 5-6, day 7-8.
constexpr TDatePositions DayMonthYear{1, 2, 4, 2, 7, 4};
constexpr TDatePositions YearMonthDay{7, 2, 5, 2, 1, 4};

// A real with "," or "." as decimal separator (the first "," is read as the separator).
std::optional<double> TryStrToDecimal(std::string_view Text);

// The messages of values that are not numbers.
std::string NotAnInteger(std::string_view Text);
std::string NotAFloat(std::string_view Text);
