// The exact-time list and the time and number parsers: the first byte picks the parser, the
// rest is its text.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "common/errors.h"
#include "common/text.h"
#include "common/timelist.h"
#include "common/utils.h"
#include "importers/brickstream.h"

namespace {

void Run(uint8_t Pick, std::string_view Text) {
    switch (Pick % 5) {
    case 0: {
        TTimeList List;
        List.SetValidText(Text, (Pick & 8) != 0 ? '.' : ':');
        const std::string Written = List.GetText();
        if (TTimeList(Written).GetText() != Written) {
            __builtin_trap();
        }
        List.Nearest(0.5);
        TTimeList Strict(Text); // raises for an unreadable list
        break;
    }
    case 1:
        TryStrToInt(Text);
        TryStrToInt64(Text);
        TryStrToFloat(Text);
        break;
    case 2:
        ParseTimeText(Text);
        HourOfTimeText(Text);
        break;
    case 3: {
        const size_t Blank = Text.find(' ');
        int64_t Second = 0;
        int MSec = 0;
        ReadIsoDateTime(Text.substr(0, Blank),
                        Blank == std::string_view::npos ? std::string_view()
                                                        : Text.substr(Blank + 1),
                        (Pick & 8) != 0, Second, MSec);
        break;
    }
    default:
        CutName(Text);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size == 0) {
        return 0;
    }
    try {
        Run(Data[0], std::string_view(reinterpret_cast<const char*>(Data) + 1, Size - 1));
    } catch (const ETarnoError&) {
        // an unreadable list or time, refused with its message
    }
    return 0;
}
