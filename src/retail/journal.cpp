#include "retail/journal.h"

#include "common/text.h"

bool IntAt(std::string_view Text, int From, int Count, int& Value) {
    const auto Start = static_cast<std::size_t>(From - 1);
    if (Start >= Text.size()) {
        return false;
    }
    const auto Result = TryStrToInt(Text.substr(Start, static_cast<std::size_t>(Count)));
    if (!Result) {
        return false;
    }
    Value = *Result;
    return true;
}

bool DateAt(std::string_view Text, const TDatePositions& At, TDateTime& Day) {
    int D = 0, M = 0, Y = 0;
    return IntAt(Text, At.DayFrom, At.DayLength, D) &&
           IntAt(Text, At.MonthFrom, At.MonthLength, M) &&
           IntAt(Text, At.YearFrom, At.YearLength, Y) && TryEncodeDate(Y, M, D, Day);
}

std::string NotAnInteger(std::string_view Text) {
    return "'" + std::string(Text) + "' is not a valid integer value";
}

std::string NotAFloat(std::string_view Text) {
    return "'" + std::string(Text) + "' is not a valid floating point value";
}

std::optional<double> TryStrToDecimal(std::string_view Text) {
    const std::size_t Comma = Text.find(',');
    if (Comma == std::string_view::npos) {
        return TryStrToFloat(Text);
    }
    std::string Number(Text);
    Number[Comma] = '.';
    return TryStrToFloat(Number);
}
