#include "retail/fc_cylande.h"

#include <array>
#include <memory>

#include "common/clock.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "data/vrkday.h"
#include "platform/files.h"
#include "retail/exportfiles.h"
#include "retail/index_cylande.h"

namespace {

const char* const IndexFileName = "index_cylande.txt";

int SlotMinutesOf(bool Scale15min) {
    return Scale15min ? 15 : 30;
}

// An unsigned number of 1 to MaxDigits digits at Text[Pos...]; Pos moves past it. -1 when none.
int ReadNumber(std::string_view Text, std::size_t& Pos, std::size_t MaxDigits) {
    int Value = 0;
    std::size_t N = 0;
    while (Pos < Text.size() && N < MaxDigits && Text[Pos] >= '0' && Text[Pos] <= '9') {
        Value = Value * 10 + (Text[Pos] - '0');
        ++Pos;
        ++N;
    }
    return N == 0 ? -1 : Value;
}

bool Expect(std::string_view Text, std::size_t& Pos, char C) {
    if (Pos < Text.size() && Text[Pos] == C) {
        ++Pos;
        return true;
    }
    return false;
}

} // namespace

TDateTime LastUpdateTime(std::string_view Line) {
    const std::size_t Colon = Line.find(':');
    if (Colon == std::string_view::npos) {
        return 0;
    }
    const std::string_view Text = TrimView(Line.substr(Colon >= 13 ? Colon - 13 : 0));
    std::size_t Pos = 0;
    const int Day = ReadNumber(Text, Pos, 2);
    const char Sep = Pos < Text.size() ? Text[Pos] : '\0';
    if (Sep != '.' && Sep != '/') {
        return 0;
    }
    ++Pos;
    const int Month = ReadNumber(Text, Pos, 2);
    if (!Expect(Text, Pos, Sep)) {
        return 0;
    }
    const int Year = ReadNumber(Text, Pos, 4);
    if (!Expect(Text, Pos, ' ')) {
        return 0;
    }
    const int Hour = ReadNumber(Text, Pos, 2);
    if (!Expect(Text, Pos, ':')) {
        return 0;
    }
    const int Min = ReadNumber(Text, Pos, 2);
    TDateTime Stamp = 0;
    if (Pos != Text.size() || Day < 0 || Month < 0 || Year < 0 || Hour < 0 || Min < 0 ||
        !TryEncodeDateTime(Year, Month, Day, Hour, Min, 0, 0, Stamp)) {
        return 0;
    }
    return Stamp;
}

bool ConvertCylande(const std::string& FileName, TConvParams& Params) {
    return ConvertCylande(FileName, Params, SystemClock());
}

bool ConvertCylande(const std::string& FileName, TConvParams& Params, const TClock& Clock) {
    const auto& P = ParamsAs<TConvParamsCylande>(Params);
    const TSlotRange Range = TimeFilterRange(P);
    if (!FileExists(FileName)) {
        return true;
    }
    OutputPath(P.OutDir, "ZALMORET.TXT"); // "Output directory not set" before any work
    TVrkConfig Config;
    TDateTime LastUpdate = 0;
    Config.OnHeaderLine = [&LastUpdate](TVrkConfig&, const std::string& Line) {
        if (Line.size() > 1 && Line[1] == 'M') {
            LastUpdate = LastUpdateTime(Line);
        }
    };
    auto Day = std::make_unique<TVrkDay>();
    ReadCountingFile(FileName, Config, *Day, &Clock);
    if (P.CurrDayOnly && DateOf(Day->Date) != DateOf(Clock.Now())) {
        return true;
    }
    std::vector<TQtrRecord> Records = BuildQtrRecords(*Day, Range);
    if (LastUpdate > 0 && !Records.empty() &&
        Records.back().Stamp() + EncodeTime(0, 17, 0, 0) > LastUpdate) {
        Records.back().Partial = true;
    }
    std::string OutputName;
    const int Result = RecordCylande(Records, Config, Config.Flags, P.Scale15min, OutputName,
                                     P.OutDir, Clock.Now());

    // The back-office file is appended and flushed before the index marks its lines exported.
    TIndexCylande Index(P.OutDir, IndexFileName);
    Index.SetSlotMinutes(SlotMinutesOf(P.Scale15min));
    Index.Load();
    Index.Export(P.OutDir, "ZALMORET.TXT");
    Index.Save();
    return Result == 0;
}

int RecordCylande(const std::vector<TQtrRecord>& Records, const TVrkConfig& Config, uint32_t Flags,
                  bool Scale15min, std::string& OutputName, const std::string& OutDir,
                  TDateTime Now) {
    OutputName = OutputPath(OutDir, "ZALMORET.TXT");
    if (Records.empty()) {
        return 0;
    }
    std::array<int32_t, 4> Divisor{};
    bool AllHalved = true;
    for (int C = 1; C <= 4; ++C) {
        Divisor[static_cast<std::size_t>(C - 1)] = ChannelHalved(Flags, C) ? 2 : 1;
        AllHalved = AllHalved && ChannelHalved(Flags, C);
    }
    try {
        TIndexCylande Index(OutDir, IndexFileName);
        Index.SetSlotMinutes(SlotMinutesOf(Scale15min));
        Index.Load();
        const TDateTime Today = DateOf(Now);
        // Remainders of halved channels, carried from record to record within this file, so
        // converting the same file again gives the same figures.
        std::array<int32_t, 4> Remainder{};
        TDoorSums Sums;
        TIndexDataFields Fields;
        for (const TQtrRecord& R : Records) {
            if (R.Date() > Today) {
                AppendCylandeError(22, OutDir, Now);
                continue;
            }
            std::array<int32_t, 4> Values{};
            for (std::size_t C = 0; C < 4; ++C) {
                Values[C] = R.Counts[C] / Divisor[C];
                Remainder[C] += R.Counts[C] % Divisor[C];
                if (Remainder[C] >= Divisor[C]) {
                    ++Values[C];
                    Remainder[C] = 0;
                }
            }
            Sums.Clear();
            Sums.AddChannels(Config, Values);
            Fields.clear();
            for (int D = 1; D <= VrkDoorCount; ++D) {
                const TVrkDoor& Door = Config.Doors(D);
                if (!Door.Defined) {
                    continue;
                }
                const int32_t In = ClampCount(Sums.In(D));
                const int32_t Out = AllHalved || !Door.HasExits ? In : ClampCount(Sums.Out(D));
                Fields.push_back(std::to_string(D));
                Fields.push_back(std::to_string(In));
                Fields.push_back(std::to_string(Out));
            }
            if (!Fields.empty()) {
                Index.AddFields(Fields, R.Partial, R.Stamp());
            }
        }
        Index.Save();
    } catch (const std::exception&) {
        AppendCylandeError(21, OutDir, Now);
        return 5;
    }
    return 0;
}

void AppendCylandeError(int Code, const std::string& OutDir, TDateTime Now) {
    const TDateParts D = DecodeDate(Now);
    const TTimeParts T = DecodeTime(Now);
    std::string Text = Format("@%2.2d/%2.2d/%4.4d %2.2d:%2.2d:%2.2d\r\n", D.Day, D.Month, D.Year,
                              T.Hour, T.Min, T.Sec);
    for (int C = 1; C <= 4; ++C) {
        Text += Format("%d\t%2.2d/%2.2d/%4.4d\t%2.2d:%2.2d\t0\t0\t%d\r\n", C, D.Day, D.Month,
                       D.Year, T.Hour, T.Min, Code);
    }
    AppendToErrorFile(OutDir, Text);
}
