#include "common/timelist.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

#include "common/errors.h"
#include "common/text.h"

namespace {

// A field of a time token: a decimal integer in 0..65535.
std::optional<int32_t> TimeField(std::string_view Field) {
    const std::optional<int32_t> Value = TryStrToInt(Field);
    if (!Value || *Value < 0 || *Value > 65535) {
        return std::nullopt;
    }
    return Value;
}

// "h:m" or "h:m:s" as seconds since midnight; none for anything else.
std::optional<int32_t> ParseTime(std::string_view Token, char Separator) {
    const auto Hours = TimeField(GetField(Token, Separator, 0));
    const auto Minutes = TimeField(GetField(Token, Separator, 1));
    const std::string SecondsText = GetField(Token, Separator, 2);
    const auto Seconds = SecondsText.empty() ? std::optional<int32_t>(0) : TimeField(SecondsText);
    if (!Hours || !Minutes || !Seconds || *Hours > 23 || *Minutes > 59 || *Seconds > 59) {
        return std::nullopt;
    }
    return *Hours * 3600 + *Minutes * 60 + *Seconds;
}

} // namespace

TTimeList::TTimeList(std::string_view Text) {
    SetText(Text, ':');
}

std::string TTimeList::ParseTokens(std::string_view Text, char Separator, bool StopAtError) {
    FItems.clear();
    std::string FirstError;
    const std::string Clean = CollapseBlanks(Trim(Text));
    for (int I = 0;; ++I) {
        const std::string Token = GetField(Clean, ' ', I);
        if (Token.empty()) {
            break;
        }
        if (const auto Time = ParseTime(Token, Separator)) {
            FItems.push_back(*Time);
        } else if (FirstError.empty()) {
            FirstError = Format("Wrong time value \"%s\"", Token.c_str());
            if (StopAtError) {
                return FirstError;
            }
        }
    }
    std::sort(FItems.begin(), FItems.end());
    return FirstError;
}

void TTimeList::SetText(std::string_view Text, char Separator) {
    std::string Error = ParseTokens(Text, Separator, true);
    if (!Error.empty()) {
        throw EConvertError(Error);
    }
}

std::string TTimeList::SetValidText(std::string_view Text, char Separator) {
    return ParseTokens(Text, Separator, false);
}

std::string TTimeList::GetText(char Separator) const {
    const std::string Sep(1, Separator);
    std::string Text;
    for (const int32_t Item : FItems) {
        if (!Text.empty()) {
            Text += ' ';
        }
        Text += Format("%2.2d%s%2.2d", Item / 3600, Sep.c_str(), Item % 3600 / 60);
    }
    return Text;
}

TDateTime TTimeList::Nearest(TDateTime T) const {
    const int64_t S = SecondOfDayRounded(T);
    int64_t Best = -1;
    for (const int32_t Item : FItems) {
        if (Best < 0 || std::abs(S - Item) < std::abs(S - Best)) {
            Best = Item;
        }
    }
    return static_cast<double>(Best) / SecsPerDay;
}

TDateTime TTimeList::NextAfter(TDateTime T) const {
    const int64_t S = SecondOfDayRounded(T);
    for (const int32_t Item : FItems) {
        if (Item > S) {
            return static_cast<double>(Item) / SecsPerDay;
        }
    }
    return -1;
}
