#include "retail/fc_xlsoft.h"

#include "common/text.h"
#include "common/utils.h"
#include "data/vrkcfg.h"
#include "platform/files.h"
#include "retail/daytable.h"
#include "retail/journal.h"
#include "retail/keyed_file.h"

bool ConvertXlSoft(const std::string& FileName, TConvParams& Params) {
    const auto& P = ParamsAs<TConvParamsXlSoft>(Params);
    TXlSoftFile Copy(OutputPath(P.RawOutDir, FileName));
    const std::string Text = ReadFileBytes(FileName);
    const int64_t Lower = int64_t{P.QtrStart} * 15;
    const int64_t Upper = int64_t{P.QtrStop} * 15 + P.SliceSize;
    TDayMerger Days(P.OutDir);
    ForEachTextLine(Text, [&](std::string_view Line) {
        if (Line.empty()) {
            return;
        }
        Copy.Put(Line);
        std::string_view F[5];
        SplitFields(Line, ';', F, 5);
        TDateTime Day = 0;
        const auto Slice = TryStrToInt(F[2]);
        const auto Receipts = TryStrToInt(F[3]);
        const auto Turnover = TryStrToDecimal(F[4]);
        if (!DateAt(F[1], YearMonthDay, Day) || !Slice || !Receipts || !Turnover) {
            return;
        }
        const int64_t Minute = int64_t{*Slice} * P.SliceSize + Lower;
        if (Minute < Lower || Minute > Upper || Minute < 0 || Minute / 60 > 23) {
            return;
        }
        Days.SetDay(Day);
        THourRow& Row = Days.Row(static_cast<int>(Minute / 60));
        AddCustomers(Row, *Receipts);
        AddTurnover(Row, *Turnover);
    });
    Days.Finish();
    Copy.Save();
    return true;
}
