#include "retail/fc_acurity.h"

#include "common/errors.h"
#include "common/text.h"
#include "data/vrkcfg.h"
#include "platform/files.h"
#include "retail/daytable.h"
#include "retail/journal.h"

bool ConvertAcurity(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsAcurity>(Params);
    const std::string Text = ReadFileBytes(FileName);
    TDayMerger Days(P.OutDir);
    ForEachTextLine(Text, [&](std::string_view Line) {
        if (Line.empty()) {
            return;
        }
        std::string_view F[4];
        SplitFields(Line, '\t', F, 4);
        TDateTime Day = 0;
        int Hour = 0;
        if (!DateAt(F[3], DayMonthYear, Day) || !IntAt(F[3], 12, 2, Hour)) {
            return;
        }
        if (Hour < 0 || Hour > 23) {
            Hour = 0;
        }
        Days.SetDay(Day);
        THourRow& Row = Days.Row(Hour);
        Row.Store.assign(F[0].substr(0, 5));
        const std::string_view Measure = F[2];
        if (Measure.find("CUST") != std::string_view::npos ||
            Measure.find("STUK") != std::string_view::npos) {
            const auto Value = TryStrToInt(F[1]);
            if (!Value) {
                throw EConvertError(NotAnInteger(F[1]));
            }
            if (Measure.find("CUST") != std::string_view::npos) {
                AddCustomers(Row, *Value);
            } else {
                AddArticles(Row, *Value);
            }
        } else if (Measure.find("XOMZ") != std::string_view::npos) {
            const auto Value = TryStrToFloat(F[1]);
            if (!Value) {
                throw EConvertError(NotAFloat(F[1]));
            }
            AddTurnover(Row, *Value);
        }
    });
    Days.Finish();
    return true;
}
