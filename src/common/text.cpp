#include "common/text.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

#include "common/errors.h"

std::string SysErrorMessage(int Error) {
    char Buffer[256];
    // The GNU strerror_r returns the message, which may or may not be Buffer.
    return std::string(strerror_r(Error, Buffer, sizeof Buffer));
}

std::string GetField(std::string_view Text, char Separator, int Index, std::size_t MaxLength) {
    std::string Result;
    int Counter = 0;
    for (char C : Text) {
        if (C == Separator) {
            ++Counter;
            if (Counter > Index) {
                break;
            }
        } else if (Counter == Index && Result.size() < MaxLength) {
            Result += C;
        }
    }
    return Result;
}

std::string_view FieldView(std::string_view Text, char Separator, int Index) {
    for (int I = 0; I < Index; ++I) {
        const std::size_t At = Text.find(Separator);
        if (At == std::string_view::npos) {
            return {};
        }
        Text.remove_prefix(At + 1);
    }
    return Text.substr(0, Text.find(Separator));
}

std::size_t SplitFieldViews(std::string_view Line, char Separator,
                            std::span<std::string_view> Fields, std::size_t MaxLength) {
    std::size_t Count = 0;
    if (Fields.empty()) {
        return Count;
    }
    std::size_t Start = 0;
    const char* const Data = Line.data();
    const std::size_t N = Line.size();
    // Takes the field that ends at End; answers whether Fields is full.
    const auto Take = [&](std::size_t End) {
        Fields[Count++] = std::string_view(Data + Start, std::min(End - Start, MaxLength));
        Start = End + 1;
        return Count == Fields.size();
    };
    if (ForEachByteOf(Line, 0, Separator, Take)) {
        return Count;
    }
    Take(N);
    return Count;
}

int SplitFields(std::string_view Line, char Separator, std::string_view* Fields, int MaxFields) {
    constexpr std::size_t MaxFieldLength = 255; // as GetField cuts its fields
    const std::size_t Slots = static_cast<std::size_t>(std::max(MaxFields, 0));
    const std::size_t Filled =
        SplitFieldViews(Line, Separator, std::span(Fields, Slots), MaxFieldLength);
    for (std::size_t I = Filled; I < Slots; ++I) {
        Fields[I] = std::string_view();
    }
    if (Filled < Slots) {
        return static_cast<int>(Filled);
    }
    return static_cast<int>(std::count(Line.begin(), Line.end(), Separator)) + 1;
}

int SplitTrimmedFields(std::string_view Line, char Separator, std::string_view* Fields,
                       int MaxFields) {
    const int Count = SplitFields(Line, Separator, Fields, MaxFields);
    for (int I = 0; I < std::min(Count, MaxFields); ++I) {
        Fields[I] = TrimView(Fields[I]);
    }
    return Count;
}

std::string CopyText(std::string_view Text, long long From, long long Count) {
    return std::string(CopyTextView(Text, From, Count));
}

std::string_view CopyTextView(std::string_view Text, long long From, long long Count) {
    const long long Size = static_cast<long long>(Text.size());
    if (Count <= 0 || From > Size) {
        return {};
    }
    long long First = From;
    long long Last = (Count > Size - From) ? Size : From + Count - 1; // no overflow
    if (First < 1) {
        First = 1;
    }
    if (Last < First) {
        return {};
    }
    return Text.substr(static_cast<std::size_t>(First - 1),
                       static_cast<std::size_t>(Last - First + 1));
}

namespace {
bool IsBlankByte(char C) {
    return static_cast<unsigned char>(C) <= ' ';
}
char ToUpperAscii(char C) {
    return (C >= 'a' && C <= 'z') ? static_cast<char>(C - 'a' + 'A') : C;
}
char ToLowerAscii(char C) {
    return (C >= 'A' && C <= 'Z') ? static_cast<char>(C - 'A' + 'a') : C;
}
} // namespace

std::size_t FindLineBreak(std::string_view Text, std::size_t From) {
    for (std::size_t Base = From; Base < Text.size(); Base += 64) {
        if (const uint64_t Breaks = ByteMask64(Text, Base, '\r', '\n'); Breaks != 0) {
            return Base + static_cast<std::size_t>(std::countr_zero(Breaks));
        }
    }
    return Text.size();
}

std::string_view TrimView(std::string_view Text) {
    while (!Text.empty() && IsBlankByte(Text.front())) {
        Text.remove_prefix(1);
    }
    while (!Text.empty() && IsBlankByte(Text.back())) {
        Text.remove_suffix(1);
    }
    return Text;
}

std::string Trim(std::string_view Text) {
    return std::string(TrimView(Text));
}

std::string TrimLeft(std::string_view Text) {
    std::size_t I = 0;
    while (I < Text.size() && IsBlankByte(Text[I])) {
        ++I;
    }
    return std::string(Text.substr(I));
}

std::string TrimRight(std::string_view Text) {
    std::size_t N = Text.size();
    while (N > 0 && IsBlankByte(Text[N - 1])) {
        --N;
    }
    return std::string(Text.substr(0, N));
}

std::string UpperCase(std::string_view Text) {
    std::string R(Text);
    for (char& C : R) {
        C = ToUpperAscii(C);
    }
    return R;
}

std::string LowerCase(std::string_view Text) {
    std::string R(Text);
    for (char& C : R) {
        C = ToLowerAscii(C);
    }
    return R;
}

bool SameText(std::string_view A, std::string_view B) {
    return A.size() == B.size() && ForEveryWordPair(A, B, [](uint64_t X, uint64_t Y) {
               return LowerAsciiWord(X) == LowerAsciiWord(Y);
           });
}

bool StartsWithText(std::string_view Text, std::string_view Prefix) {
    return Text.size() >= Prefix.size() && SameText(Text.substr(0, Prefix.size()), Prefix);
}

bool EndsWithText(std::string_view Text, std::string_view Suffix) {
    return Text.size() >= Suffix.size() &&
           SameText(Text.substr(Text.size() - Suffix.size()), Suffix);
}

bool MatchesWildcard(std::string_view Text, std::string_view Pattern) {
    // Greedy with one point of return: the last "*" seen takes one more character on a mismatch.
    std::size_t T = 0, P = 0;
    std::size_t StarP = std::string_view::npos, StarT = 0;
    while (T < Text.size()) {
        if (P < Pattern.size() && Pattern[P] == '*') {
            StarP = P++;
            StarT = T;
        } else if (P < Pattern.size() &&
                   (Pattern[P] == '?' || SameText(Pattern.substr(P, 1), Text.substr(T, 1)))) {
            ++P;
            ++T;
        } else if (StarP != std::string_view::npos) {
            P = StarP + 1;
            T = ++StarT;
        } else {
            return false;
        }
    }
    while (P < Pattern.size() && Pattern[P] == '*') {
        ++P;
    }
    return P == Pattern.size();
}

std::string RemoveBlanks(std::string_view Text) {
    std::string R;
    R.reserve(Text.size());
    for (char C : Text) {
        if (C != ' ') {
            R += C;
        }
    }
    return R;
}

std::string CollapseBlanks(std::string_view Text) {
    std::string R;
    R.reserve(Text.size());
    for (char C : Text) {
        if (C == ' ' && !R.empty() && R.back() == ' ') {
            continue;
        }
        R += C;
    }
    return R;
}

namespace {
template <typename T>
std::optional<T> ParseInteger(std::string_view Text) {
    std::size_t I = 0;
    while (I < Text.size() && (Text[I] == ' ' || Text[I] == '\t')) {
        ++I;
    }
    bool Negative = false;
    if (I < Text.size() && (Text[I] == '+' || Text[I] == '-')) {
        Negative = Text[I] == '-';
        ++I;
    }
    if (I >= Text.size()) {
        return std::nullopt;
    }
    // Accumulate negatively so that the minimum of the type parses. Up to digits10 digits
    // cannot leave the type's range: no check needed.
    T Value = 0;
    if (Text.size() - I <= static_cast<std::size_t>(std::numeric_limits<T>::digits10)) {
        for (; I < Text.size(); ++I) {
            const char C = Text[I];
            if (C < '0' || C > '9') {
                return std::nullopt;
            }
            Value = static_cast<T>(Value * 10 - (C - '0'));
        }
        return Negative ? Value : static_cast<T>(-Value);
    }
    for (; I < Text.size(); ++I) {
        char C = Text[I];
        if (C < '0' || C > '9') {
            return std::nullopt;
        }
        // Below the type's minimum is out of range.
        if (__builtin_mul_overflow(Value, T{10}, &Value) ||
            __builtin_sub_overflow(Value, static_cast<T>(C - '0'), &Value)) {
            return std::nullopt;
        }
    }
    if (!Negative) {
        if (Value == std::numeric_limits<T>::min()) {
            return std::nullopt;
        }
        Value = static_cast<T>(-Value);
    }
    return Value;
}
} // namespace

std::optional<int32_t> TryStrToIntChecked(std::string_view Text) {
    return ParseInteger<int32_t>(Text);
}

std::optional<int64_t> TryStrToInt64(std::string_view Text) {
    return ParseInteger<int64_t>(Text);
}

int32_t StrToIntDef(std::string_view Text, int32_t Default) {
    return TryStrToInt(Text).value_or(Default);
}

std::optional<double> TryStrToFloat(std::string_view Text) {
    std::size_t I = 0;
    while (I < Text.size() && (Text[I] == ' ' || Text[I] == '\t')) {
        ++I;
    }
    std::string_view Rest = Text.substr(I);
    if (!Rest.empty() && Rest[0] == '+') {
        Rest.remove_prefix(1);
        if (!Rest.empty() && (Rest[0] == '+' || Rest[0] == '-')) {
            return std::nullopt;
        }
    }
    if (Rest.empty()) {
        return std::nullopt;
    }
    // from_chars accepts "inf" and "nan"; only digits, '.', signs and exponents are numbers here.
    for (char C : Rest) {
        if (!((C >= '0' && C <= '9') || C == '.' || C == '-' || C == '+' || C == 'e' || C == 'E')) {
            return std::nullopt;
        }
    }
    double Value = 0;
    auto [Ptr, Ec] = std::from_chars(Rest.data(), Rest.data() + Rest.size(), Value);
    if (Ec != std::errc() || Ptr != Rest.data() + Rest.size() || !std::isfinite(Value)) {
        return std::nullopt;
    }
    return Value;
}

void AppendZeroPadded(std::string& Text, int Value, int Width) {
    if (Value < 0) {
        Text += Format("%*.*d", Width, Width, Value);
        return;
    }
    char Buffer[16];
    const auto Result = std::to_chars(Buffer, Buffer + sizeof Buffer, Value);
    const std::ptrdiff_t Digits = Result.ptr - Buffer;
    if (Width > Digits) {
        Text.append(static_cast<std::size_t>(Width - Digits), '0');
    }
    Text.append(Buffer, Result.ptr);
}

std::string Format(const char* Fmt, ...) {
    va_list Args;
    va_start(Args, Fmt);
    va_list Copy;
    va_copy(Copy, Args);
    int Needed = std::vsnprintf(nullptr, 0, Fmt, Copy);
    va_end(Copy);
    std::string Result;
    if (Needed > 0) {
        std::vector<char> Buffer(static_cast<std::size_t>(Needed) + 1);
        std::vsnprintf(Buffer.data(), Buffer.size(), Fmt, Args);
        Result.assign(Buffer.data(), static_cast<std::size_t>(Needed));
    }
    va_end(Args);
    return Result;
}

std::string FloatToStrFixed(double Value, int Decimals) {
    char Buffer[400];
    auto [Ptr, Ec] =
        std::to_chars(Buffer, Buffer + sizeof Buffer, Value, std::chars_format::fixed, Decimals);
    if (Ec != std::errc()) {
        return "0";
    }
    return std::string(Buffer, Ptr);
}
