#include "retail/exportfiles.h"

#include <cerrno>

#include "common/errors.h"
#include "common/security.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconvparams.h"
#include "data/vrkcfg.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

// A number of exactly Digits digits at Text[Pos...]; -1 otherwise.
int Digits(std::string_view Text, std::size_t Pos, std::size_t Count) {
    if (Pos + Count > Text.size()) {
        return -1;
    }
    int Value = 0;
    for (std::size_t I = Pos; I < Pos + Count; ++I) {
        if (Text[I] < '0' || Text[I] > '9') {
            return -1;
        }
        Value = Value * 10 + (Text[I] - '0');
    }
    return Value;
}

} // namespace

std::string IndexKey(TDateTime Stamp) {
    const TTimeParts T = DecodeTime(Stamp);
    std::string Key;
    Key.reserve(19);
    AppendSortableStamp(Key, Stamp, T.Hour != 0 || T.Min != 0 || T.Sec != 0);
    return Key;
}

bool ParseIndexKey(std::string_view Key, TDateTime& Stamp) {
    if (Key.size() != 10 && Key.size() != 16 && Key.size() != 19) {
        return false;
    }
    const int Year = Digits(Key, 0, 4);
    const int Month = Digits(Key, 5, 2);
    const int Day = Digits(Key, 8, 2);
    if (Key[4] != '/' || Key[7] != '/' || Year < 0 || Month < 0 || Day < 0) {
        return false;
    }
    int Hour = 0, Min = 0, Sec = 0;
    if (Key.size() > 10) {
        Hour = Digits(Key, 11, 2);
        Min = Digits(Key, 14, 2);
        if (Key[10] != ' ' || Key[13] != ':' || Hour < 0 || Min < 0) {
            return false;
        }
        if (Key.size() == 19) {
            Sec = Digits(Key, 17, 2);
            if (Key[16] != ':' || Sec < 0) {
                return false;
            }
        }
    }
    if (!TryEncodeDateTime(Year, Month, Day, Hour, Min, Sec, 0, Stamp)) {
        return false;
    }
    return Stamp != 0;
}

void SplitDataFields(std::string_view Data, std::vector<std::string>& Fields) {
    Fields.clear();
    std::size_t Pos = 0;
    while (Fields.size() < 128) {
        const std::size_t Tab = Data.find('\t', Pos);
        const std::string_view F =
            Data.substr(Pos, Tab == std::string_view::npos ? Tab : Tab - Pos);
        if (F.empty()) {
            return;
        }
        Fields.emplace_back(F);
        if (Tab == std::string_view::npos) {
            return;
        }
        Pos = Tab + 1;
    }
}

std::vector<std::string> ReadTextLines(const std::string& Path) {
    std::vector<std::string> Lines;
    std::string Bytes;
    std::string Error;
    if (!TryReadFileBytes(Path, Bytes, &Error)) {
        if (errno == ENOENT) {
            return Lines;
        }
        // A link or special file at the name is refused, not taken as an empty file.
        throw EOSError("Cannot open file \"" + Path + "\". " + Error);
    }
    ForEachTextLine(Bytes, [&Lines](std::string_view Line) {
        if (!Line.empty()) {
            Lines.emplace_back(Line);
        }
    });
    return Lines;
}

std::string JoinTextLines(const std::vector<std::string>& Lines) {
    std::size_t Size = 0;
    for (const std::string& L : Lines) {
        Size += L.size() + 2;
    }
    std::string Text;
    Text.reserve(Size);
    for (const std::string& L : Lines) {
        Text += L;
        Text += "\r\n";
    }
    return Text;
}

void PrepareIndexDirectory(const std::string& Dir) {
    try {
        CreateDirWithRights(Dir);
    } catch (const std::exception&) {
        // Reported by the first operation on a file inside it.
    }
}

std::string IndexSubdirectory(const std::string& OutDir) {
    CreateDirWithRights(OutDir);
    const std::string Dir = EnsureSubdirectory(OutDir, "index");
    GrantEveryoneAccess(Dir);
    return Dir;
}

std::string ErrorStamp(TDateTime Now) {
    const TDateParts D = DecodeDate(Now);
    const TTimeParts T = DecodeTime(Now);
    return Format("%2.2d/%2.2d/%4.4d %2.2d:%2.2d:%2.2d", D.Day, D.Month, D.Year, T.Hour, T.Min,
                  T.Sec);
}

void AppendCodedError(const std::string& OutDir, int Code, const std::string& Message,
                      TDateTime Now) {
    AppendToErrorFile(OutDir,
                      ErrorStamp(Now) + " " + std::to_string(Code) + " " + Message + "\r\n");
}

void AppendToErrorFile(const std::string& OutDir, const std::string& Text) {
    try {
        AppendToFile(OutputPath(OutDir, "ZALMORET.ERR"), Text);
    } catch (const std::exception&) {
        // The error file is the last resort: nothing is left to report its own failure to.
    }
}

const TClock& SystemClock() {
    static const TSystemClock Clock;
    return Clock;
}
