#include "common/utils.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <memory>

#include "common/errors.h"
#include "common/text.h"

int CountChar(std::string_view Text, char Character) {
    int Count = 0;
    for (char C : Text) {
        Count += C == Character ? 1 : 0;
    }
    return Count;
}

bool IsDirectory(const std::string& Path) {
    struct stat St {};
    return ::stat(Path.c_str(), &St) == 0 && S_ISDIR(St.st_mode);
}

bool SameFile(const std::string& A, const std::string& B) {
    struct stat StA {
    }, StB{};
    return ::stat(A.c_str(), &StA) == 0 && ::stat(B.c_str(), &StB) == 0 &&
           StA.st_dev == StB.st_dev && StA.st_ino == StB.st_ino;
}

std::string CombinePath(const std::string& Directory, const std::string& FileName) {
    if (Directory.empty()) {
        if (!FileName.empty() && FileName[0] == '/') {
            return FileName;
        }
        char Buffer[4096];
        if (::getcwd(Buffer, sizeof Buffer) == nullptr) {
            return FileName;
        }
        return CombinePath(Buffer, FileName);
    }
    if (Directory.back() == '/') {
        return Directory + FileName;
    }
    return Directory + "/" + FileName;
}

std::string ResolveNameNoCase(const std::string& Path) {
    struct stat St {};
    if (::stat(Path.c_str(), &St) == 0) {
        return Path;
    }
    const auto Slash = Path.find_last_of('/');
    const std::string Dir = Slash == std::string::npos ? "." : Path.substr(0, Slash + 1);
    const std::string Name = Slash == std::string::npos ? Path : Path.substr(Slash + 1);
    std::unique_ptr<DIR, int (*)(DIR*)> D(::opendir(Dir.c_str()), &::closedir);
    if (!D || Name.empty()) {
        return {};
    }
    while (const dirent* E = ::readdir(D.get())) {
        if (SameText(E->d_name, Name)) {
            return Slash == std::string::npos ? std::string(E->d_name) : Dir + E->d_name;
        }
    }
    return {};
}

std::string ExtractFileName(std::string_view Path) {
    const auto Slash = Path.find_last_of('/');
    return std::string(Slash == std::string_view::npos ? Path : Path.substr(Slash + 1));
}

std::string ExtractFileDir(std::string_view Path) {
    const auto Slash = Path.find_last_of('/');
    if (Slash == std::string_view::npos) {
        return {};
    }
    return std::string(Slash == 0 ? Path.substr(0, 1) : Path.substr(0, Slash));
}

std::string OutputPath(const std::string& OutDir, std::string_view FileName) {
    if (OutDir.empty()) {
        throw ETarnoError("Output directory not set");
    }
    return CombinePath(OutDir, ExtractFileName(FileName));
}

int64_t GetFileSize64(const std::string& Path) {
    const std::string Found = ResolveNameNoCase(Path);
    struct stat St {};
    if (Found.empty() || ::stat(Found.c_str(), &St) != 0 || S_ISDIR(St.st_mode)) {
        return 0;
    }
    return static_cast<int64_t>(St.st_size);
}

namespace {
// Reads 1 or 2 digits at Pos; false when there is none.
bool ReadTimeNumber(std::string_view Text, std::size_t& Pos, int& Value, std::size_t MaxDigits) {
    std::size_t Digits = 0;
    Value = 0;
    while (Pos < Text.size() && Digits < MaxDigits && Text[Pos] >= '0' && Text[Pos] <= '9') {
        Value = Value * 10 + (Text[Pos] - '0');
        ++Pos;
        ++Digits;
    }
    return Digits > 0;
}
} // namespace

TDateTime ParseTimeText(std::string_view Text) {
    std::string S(Text);
    if (S.size() > 2) {
        S[2] = ':';
    }
    S = Trim(S);
    std::size_t Pos = 0;
    int Hour = 0, Min = 0, Sec = 0, MSec = 0;
    if (!ReadTimeNumber(S, Pos, Hour, 2) || Pos >= S.size() || S[Pos] != ':') {
        return -1;
    }
    ++Pos;
    if (!ReadTimeNumber(S, Pos, Min, 2)) {
        return -1;
    }
    if (Pos < S.size() && S[Pos] == ':') {
        ++Pos;
        if (!ReadTimeNumber(S, Pos, Sec, 2)) {
            return -1;
        }
        if (Pos < S.size() && S[Pos] == '.') {
            ++Pos;
            if (!ReadTimeNumber(S, Pos, MSec, 3)) {
                return -1;
            }
        }
    }
    TDateTime Result = 0;
    if (Pos != S.size() || !TryEncodeTime(Hour, Min, Sec, MSec, Result)) {
        return -1;
    }
    return Result;
}

int HourOfTime(TDateTime T) {
    const double Hours = (T + OneSecond) * 24.0;
    if (!(Hours >= 0)) {
        return 0;
    }
    if (Hours >= 23) {
        return 23;
    }
    return static_cast<int>(Hours);
}

int HourOfTimeText(std::string_view Text) {
    return HourOfTime(ParseTimeText(Text));
}

TDateTime FileTimeToDateTime(const timespec& FileTime) {
    return UnixToDateTime(FileTime, false);
}

std::string UtcOffsetText(int Bias) {
    const long long Abs = Bias < 0 ? -static_cast<long long>(Bias) : Bias;
    return Format("(UTC %s%2.2lld:%2.2lld)", Bias <= 0 ? "+" : "-", Abs / 60, Abs % 60);
}

int ParseLeadingInt(std::string_view Text, int From, int& Length) {
    for (int Len = Length; Len >= 1; --Len) {
        const std::string_view Piece = CopyTextView(Text, From, Len);
        if (auto Value = TryStrToInt(Piece)) {
            Length = static_cast<int>(Piece.size()); // a piece cut short by the text's end
            return *Value;
        }
    }
    Length = 0;
    return 0;
}

namespace {
bool AllDigits(std::string_view S) {
    for (char C : S) {
        if (C < '0' || C > '9') {
            return false;
        }
    }
    return true;
}

int Digits(std::string_view S) {
    int Value = 0;
    for (char C : S) {
        Value = Value * 10 + (C - '0');
    }
    return Value;
}

// The length of the UTF-8 character that starts Text, or 1 when its bytes do not form one.
std::size_t Utf8Length(std::string_view Text) {
    const auto Lead = static_cast<unsigned char>(Text[0]);
    std::size_t Len = 1;
    if ((Lead & 0xE0) == 0xC0) {
        Len = 2;
    } else if ((Lead & 0xF0) == 0xE0) {
        Len = 3;
    } else if ((Lead & 0xF8) == 0xF0) {
        Len = 4;
    }
    if (Len > Text.size()) {
        return 1;
    }
    for (std::size_t I = 1; I < Len; ++I) {
        if ((static_cast<unsigned char>(Text[I]) & 0xC0) != 0x80) {
            return 1;
        }
    }
    return Len;
}
} // namespace

TDateTime DateFromFileName(std::string_view FileName) {
    std::string_view Name = FileName;
    const auto Slash = Name.find_last_of('/');
    if (Slash != std::string_view::npos) {
        Name.remove_prefix(Slash + 1);
    }
    const auto Ext = Name.find_last_of('.');
    if (Ext != std::string_view::npos) {
        Name = Name.substr(0, Ext);
    }
    Name = Name.substr(0, Name.find('_'));
    Name = Name.substr(0, Name.find('.'));
    if (!AllDigits(Name)) {
        return -1;
    }
    int Year = 0;
    if (Name.size() == 8) {
        Year = Digits(Name.substr(0, 4));
        Name.remove_prefix(4);
    } else if (Name.size() == 6) {
        Year = Digits(Name.substr(0, 2));
        Year += Year <= 90 ? 2000 : 1900;
        Name.remove_prefix(2);
    } else {
        return -1;
    }
    TDateTime Result = 0;
    if (!TryEncodeDate(Year, Digits(Name.substr(0, 2)), Digits(Name.substr(2, 2)), Result)) {
        return -1;
    }
    return Result;
}

std::string CheckStoreName(std::string_view Name) {
    const std::string Stripped = RemoveBlanks(Name);
    if (Stripped.empty()) {
        throw ETarnoError("Nom du magasin non spécifié! Vous devez indiquer le nom du magasin.");
    }
    for (std::size_t I = 0; I < Stripped.size(); ++I) {
        const auto C = static_cast<unsigned char>(Stripped[I]);
        if (C < 33 || C > 126) {
            const std::string Character =
                Stripped.substr(I, Utf8Length(std::string_view(Stripped).substr(I)));
            throw ETarnoError("Mauvais charactère '" + Character + "' dans le nom du magasin " +
                              Stripped);
        }
    }
    return UpperCase(Stripped);
}

bool IsReservedStoreDir(std::string_view Name) {
    static constexpr std::string_view Reserved[] = {"Inconnu", "Unknown", "Registration",
                                                    "Depart",  "www",     "scripts"};
    for (std::string_view R : Reserved) {
        if (SameText(Name, R)) {
            return true;
        }
    }
    return false;
}
