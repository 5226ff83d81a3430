#include "retail/fc_winparf.h"

#include "common/text.h"
#include "data/vrkcfg.h"
#include "platform/files.h"
#include "retail/daytable.h"
#include "retail/journal.h"

bool ConvertWinparf(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsWinparf>(Params);
    const std::string Text = ReadFileBytes(FileName);
    TDayMerger Days(P.OutDir);
    ForEachTextLine(Text, [&](std::string_view RawLine) {
        const std::string_view Line = TrimView(RawLine);
        if (Line.empty()) {
            return;
        }
        std::string_view F[4];
        SplitFields(Line, ',', F, 4);
        const std::string_view Type = F[0];
        const std::string_view Value = TrimView(F[3]);
        TDateTime Day = 0;
        int Hour = 0;
        if ((Type != "01" && Type != "02" && Type != "03") || !DateAt(F[2], DayMonthYear, Day) ||
            !IntAt(F[2], 12, 2, Hour)) {
            return;
        }
        double Turnover = 0;
        int32_t Count = 0;
        if (Type == "01") {
            const auto V = TryStrToFloat(Value);
            if (!V) {
                return;
            }
            Turnover = *V;
        } else {
            const auto V = TryStrToInt(Value);
            if (!V) {
                return;
            }
            Count = *V;
        }
        if (Hour < 0 || Hour > 23) {
            Hour = 23;
        }
        Days.SetDay(Day);
        THourRow& Row = Days.Row(Hour);
        Row.Store = "001";
        if (Type == "01" && Turnover != 0) {
            AddTurnover(Row, Turnover);
        } else if (Type == "02" && Count > 0) {
            AddCustomers(Row, Count);
        } else if (Type == "03" && Count > 0) {
            AddArticles(Row, Count);
        }
    });
    Days.Finish();
    return true;
}
