#include "retail/fc_bizplu.h"

#include "common/text.h"
#include "data/vrkcfg.h"
#include "platform/files.h"
#include "retail/daytable.h"
#include "retail/journal.h"

bool ConvertBizPlu(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsBizPlu>(Params);
    const std::string Text = ReadFileBytes(FileName);
    TDayMerger Days(P.OutDir, TMergeStores::RangeAs001);
    ForEachTextLine(Text, [&](std::string_view RawLine) {
        const std::string_view Line = TrimView(RawLine);
        if (Line.empty() || Line[0] != 'T') {
            return;
        }
        std::string_view F[15];
        SplitFields(Line, '#', F, 15);
        TDateTime Day = 0;
        int Hour = 0;
        const auto Amount = TryStrToInt64(F[13]);
        const auto Articles = TryStrToInt(F[14]);
        if (!DateAt(F[3], YearMonthDay, Day) || !IntAt(F[4], 1, 2, Hour) || !Amount || !Articles) {
            return;
        }
        if (Hour < 0 || Hour > 23) {
            Hour = 0;
        }
        Days.SetDay(Day);
        THourRow& Row = Days.Row(Hour);
        Row.Store = "001";
        AddCustomers(Row, 1);
        AddTurnover(Row, static_cast<double>(*Amount) / 100.0);
        AddArticles(Row, *Articles);
    });
    Days.Finish();
    return true;
}
