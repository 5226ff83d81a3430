#include "retail/daytable.h"

#include <algorithm>

#include "common/errors.h"
#include "common/security.h"
#include "common/text.h"
#include "common/utils.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/journal.h"

namespace {

constexpr std::size_t StoreLength = 5;

// The date "dd/mm/yy" of a table line, or 0. Years 0..90 are 2000..2090, 91..99 1991..1999.
TDateTime ReadTableDate(std::string_view Text) {
    int Day = 0, Month = 0, Year = 0;
    TDateTime Result = 0;
    if (!IntAt(Text, 1, 2, Day) || !IntAt(Text, 4, 2, Month) || !IntAt(Text, 7, 2, Year) ||
        Year < 0 || Year > 99 ||
        !TryEncodeDate(Year <= 90 ? 2000 + Year : 1900 + Year, Month, Day, Result)) {
        return 0;
    }
    return Result;
}

std::string ReadHourText(std::string_view Text) {
    if (Text.find(':') == std::string_view::npos) {
        const auto Hour = TryStrToInt(Text);
        if (!Hour || *Hour < 0 || *Hour > 23) {
            return {};
        }
        return Format("%2.2d:00", *Hour);
    }
    return ParseTimeText(Text) >= 0 ? std::string(Text) : std::string();
}

// Value, right-aligned in Width characters.
void AppendPadded(std::string& Line, std::string_view Value, std::size_t Width) {
    if (Value.size() < Width) {
        Line.append(Width - Value.size(), ' ');
    }
    Line += Value;
}

// The store code as a table line can hold it and reads it back: at most five characters, a "|"
// (which would start the next field) as a blank, no blank or control byte at either end.
std::string StoreField(std::string_view Store) {
    std::string Field(Store.substr(0, StoreLength));
    std::replace(Field.begin(), Field.end(), '|', ' ');
    return Trim(Field);
}

std::string FormatTableLine(std::string_view Store, std::string_view DayText, int Hour,
                            const THourRow& Row) {
    const int32_t Customers = Row.Customers == NoCustomers ? 0 : Row.Customers;
    const double Turnover = Row.Turnover == NoTurnover ? 0.0 : Row.Turnover;
    const int32_t Articles = Row.Articles == NoArticles ? 0 : Row.Articles;
    std::string Line = " ";
    Line += StoreField(Store);
    Line += " | ";
    Line += DayText;
    Line += " | ";
    AppendZeroPadded(Line, Hour, 2);
    Line += " | ";
    AppendPadded(Line, std::to_string(Customers), 6);
    Line += " | ";
    AppendPadded(Line, FloatToStrFixed(Turnover, 2), 10);
    Line += " | ";
    AppendPadded(Line, std::to_string(Articles), 6);
    Line += " |      0 |\r\n";
    return Line;
}

} // namespace

void ClearDayTable(TDayTable& Table) {
    Table.fill(THourRow{});
}

int FirstUsedHour(const TDayTable& Table) {
    for (int H = 0; H < 24; ++H) {
        if (!Table[static_cast<std::size_t>(H)].Empty()) {
            return H;
        }
    }
    return 24;
}

int LastUsedHour(const TDayTable& Table) {
    for (int H = 23; H >= 0; --H) {
        if (!Table[static_cast<std::size_t>(H)].Empty()) {
            return H;
        }
    }
    return -1;
}

void AddCustomers(THourRow& Row, int64_t Value) {
    Row.Customers = ClampCount((Row.Customers == NoCustomers ? 0 : int64_t{Row.Customers}) + Value);
}

void AddTurnover(THourRow& Row, double Value) {
    Row.Turnover = (Row.Turnover == NoTurnover ? 0.0 : Row.Turnover) + Value;
}

void AddArticles(THourRow& Row, int64_t Value) {
    Row.Articles = ClampCount((Row.Articles == NoArticles ? 0 : int64_t{Row.Articles}) + Value);
}

TTableLine ParseTableLine(std::string_view Line) {
    std::string_view Fields[7];
    SplitTrimmedFields(Line, '|', Fields, 7);
    TTableLine Result;
    Result.Store = Fields[0];
    Result.Day = ReadTableDate(Fields[1]);
    Result.HourText = ReadHourText(Fields[2]);
    const auto Customers = TryStrToInt(Fields[3]);
    Result.Customers = Customers && *Customers >= 0 ? *Customers : NoCustomers;
    Result.Turnover = TryStrToDecimal(Fields[4]).value_or(0.0);
    if (!Fields[5].empty()) {
        const auto Articles = TryStrToInt(Fields[5]);
        if (!Articles) {
            throw EConvertError(NotAnInteger(Fields[5]));
        }
        Result.Articles = *Articles;
    }
    return Result;
}

std::string DayTablePath(const std::string& OutDir, TDateTime Day) {
    const TDateParts P = DecodeDate(Day);
    return OutputPath(OutDir, Format("%2.2d%2.2d%2.2d.txt", P.Year % 100, P.Month, P.Day));
}

void ReadDayTable(const std::string& Path, TDayTable& Table) {
    ClearDayTable(Table);
    if (!FileExists(Path)) {
        return;
    }
    const std::string Text = ReadFileBytes(Path);
    int LineNo = 0;
    ForEachTextLine(Text, [&](std::string_view Line) {
        ++LineNo;
        if (Line.empty()) {
            return;
        }
        try {
            const TTableLine L = ParseTableLine(Line);
            if (L.Day > 0 && !L.HourText.empty()) {
                THourRow& Row = Table[static_cast<std::size_t>(HourOfTimeText(L.HourText))];
                Row.Store = L.Store.substr(0, StoreLength);
                Row.Customers = L.Customers;
                Row.Turnover = L.Turnover;
                Row.Articles = L.Articles;
            }
        } catch (const std::exception& E) {
            throw EConvertError(std::string(E.what()) +
                                Format(" (%s, line %d)", ExtractFileName(Path).c_str(), LineNo));
        }
    });
}

std::string FormatDayTable(const TDayTable& Table, TDateTime Day) {
    const TDateParts P = DecodeDate(Day);
    const std::string DayText = Format("%2.2d/%2.2d/%2.2d", P.Day, P.Month, P.Year % 100);
    std::string Text;
    for (int H = FirstUsedHour(Table); H <= LastUsedHour(Table); ++H) {
        const THourRow& Row = Table[static_cast<std::size_t>(H)];
        if (!Row.Empty()) {
            Text += FormatTableLine(Row.Store, DayText, H, Row);
        }
    }
    return Text;
}

void WriteDayTable(const std::string& Path, const TDayTable& Table, TDateTime Day) {
    const std::string Text = FormatDayTable(Table, Day);
    if (!Text.empty()) {
        WriteFileAtomically(Path, Text);
    }
}

std::string MergeDayTable(const std::string& OutDir, const TDayTable& New, TDateTime Day,
                          TMergeStores Stores) {
    const std::string Path = DayTablePath(OutDir, Day);
    TDayTable Old;
    ReadDayTable(Path, Old);
    for (int H = FirstUsedHour(New); H <= LastUsedHour(New); ++H) {
        const THourRow& N = New[static_cast<std::size_t>(H)];
        THourRow& O = Old[static_cast<std::size_t>(H)];
        O.Store = Stores == TMergeStores::NewRows ? N.Store : "001";
        if (N.Customers != NoCustomers) {
            O.Customers = N.Customers;
        }
        if (N.Turnover != NoTurnover) {
            O.Turnover = N.Turnover;
        }
        if (N.Articles != NoArticles) {
            O.Articles = N.Articles;
        }
    }
    if (Stores == TMergeStores::AllAs001) {
        for (THourRow& Row : Old) {
            Row.Store = "001";
        }
    }
    WriteDayTable(Path, Old, Day);
    return Path;
}

TDayMerger::TDayMerger(std::string OutDir, TMergeStores Stores, bool KeepGoing, bool ShareFiles)
    : FOutDir(std::move(OutDir)), FStores(Stores), FKeepGoing(KeepGoing), FShareFiles(ShareFiles) {
    ClearDayTable(FTable);
}

void TDayMerger::SetDay(TDateTime Day) {
    if (Day == FDay) {
        return;
    }
    if (FDay > 0) {
        try {
            MergeCurrent();
        } catch (const std::exception& E) {
            if (!FKeepGoing) {
                throw;
            }
            if (FFirstError.empty()) {
                FFirstError = E.what();
            }
        }
        ClearDayTable(FTable);
    }
    FDay = Day;
}

void TDayMerger::Finish() {
    if (FDay > 0) {
        MergeCurrent();
    }
    if (!FFirstError.empty()) {
        throw ETarnoError(FFirstError);
    }
}

void TDayMerger::MergeCurrent() {
    const std::string Path = MergeDayTable(FOutDir, FTable, FDay, FStores);
    if (FShareFiles) {
        GrantEveryoneAccess(Path);
    }
}
