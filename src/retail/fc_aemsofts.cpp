#include "retail/fc_aemsofts.h"

#include "common/text.h"
#include "data/vrkcfg.h"
#include "platform/files.h"
#include "retail/daytable.h"
#include "retail/journal.h"

bool ConvertAemsofts(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsAemsofts>(Params);
    const std::string Text = ReadFileBytes(FileName);
    TDayMerger Days(P.OutDir, TMergeStores::AllAs001, true, true);
    int32_t CurrentReceipt = 0;
    bool Total = false, Withdrawal = false, Float = false;
    int64_t Items = 0;
    ForEachTextLine(Text, [&](std::string_view RawLine) {
        const std::string_view Line = TrimView(RawLine);
        if (Line.empty()) {
            return;
        }
        std::string_view F[9];
        SplitFields(Line, ';', F, 9);
        const auto Receipt = TryStrToInt(F[0]);
        const auto Amount = TryStrToFloat(F[8]);
        TDateTime Day = 0;
        int Hour = 0;
        if (!Receipt || *Receipt < 0 || !DateAt(F[1], YearMonthDay, Day) ||
            !IntAt(F[2], 1, 2, Hour) || Hour < 0 || Hour > 23 || !Amount) {
            return;
        }
        Days.SetDay(Day);
        if (*Receipt != CurrentReceipt) {
            CurrentReceipt = *Receipt;
            Total = Withdrawal = Float = false;
            Items = 0;
        }
        const std::string_view Type = F[5];
        if (Type == "PRLMNT") {
            Withdrawal = true;
        } else if (Type == "FDCAI") {
            Float = true;
        } else if (Type == "GDTOTAL" && !Total) {
            Total = true;
            if (!Withdrawal && !Float) {
                THourRow& Row = Days.Row(Hour);
                AddCustomers(Row, 1);
                AddTurnover(Row, *Amount);
                AddArticles(Row, Items);
            }
        }
        if (*Amount > 0 && F[4] != "00" && !Total && !Withdrawal && !Float) {
            ++Items;
        }
    });
    Days.Finish();
    return true;
}
