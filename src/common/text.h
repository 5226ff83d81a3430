// Text helpers shared by every module: fields, clamped substrings, ASCII case, trimming and the
// number parsing rules used for files and configuration values. Text is handled as bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// Field number Index (0-based) of Text split at every Separator; consecutive separators delimit
// empty fields, an Index past the last field gives "", and the result is cut to MaxLength
// characters (255 as the fields of the system's files are; paths pass NoFieldLimit).
constexpr std::size_t NoFieldLimit = static_cast<std::size_t>(-1);
std::string GetField(std::string_view Text, char Separator, int Index, std::size_t MaxLength = 255);
// The same field as a view into Text, never cut.
std::string_view FieldView(std::string_view Text, char Separator, int Index);

// Splits Line at every Separator into views of its fields, Fields[i] := field i cut to MaxLength
// characters, for as many fields as Fields holds; what follows the last of them is not looked
// at, so a huge line costs no more than a short one. Answers the number of fields filled (those
// of the line, at most Fields.size()); the rest of Fields is left as it was.
std::size_t SplitFieldViews(std::string_view Line, char Separator,
                            std::span<std::string_view> Fields,
                            std::size_t MaxLength = NoFieldLimit);

// Splits Line at every Separator like GetField: field i is cut to 255 characters. Fills at most
// MaxFields views into Line (missing fields are empty) and returns the number of fields of the
// line (separators + 1). The trimmed form also trims each field of blanks.
int SplitFields(std::string_view Line, char Separator, std::string_view* Fields, int MaxFields);
int SplitTrimmedFields(std::string_view Line, char Separator, std::string_view* Fields,
                       int MaxFields);

// Count characters of Text from the 1-based position From; positions outside Text are dropped,
// so the result is empty past the end and never reads outside the string.
std::string CopyText(std::string_view Text, long long From, long long Count);
// The same characters as a view into Text.
std::string_view CopyTextView(std::string_view Text, long long From, long long Count);

std::string_view TrimView(std::string_view Text);      // removes bytes <= ' ' at both ends
std::string Trim(std::string_view Text);               // the same, as a string
std::string TrimLeft(std::string_view Text);           // the same, at the start only
std::string TrimRight(std::string_view Text);          // the same, at the end only
std::string UpperCase(std::string_view Text);          // ASCII letters only
std::string LowerCase(std::string_view Text);          // ASCII letters only
bool SameText(std::string_view A, std::string_view B); // ASCII case-insensitive equality
bool StartsWithText(std::string_view Text, std::string_view Prefix); // ASCII case-insensitive
bool EndsWithText(std::string_view Text, std::string_view Suffix);   // ASCII case-insensitive
// Text matches the wildcard Pattern as a whole: "*" any run of characters (none too), "?" exactly
// one character, anything else itself without regard to ASCII case.
bool MatchesWildcard(std::string_view Text, std::string_view Pattern);

// Text without any blank (' ').
std::string RemoveBlanks(std::string_view Text);

// Replaces every run of two or more blanks by one blank.
std::string CollapseBlanks(std::string_view Text);

// A decimal integer: optional leading blanks, optional sign, at least one digit, nothing after.
// Values outside the type's range are not a number.
inline std::optional<int32_t> TryStrToInt(std::string_view Text);
std::optional<int64_t> TryStrToInt64(std::string_view Text);
int32_t StrToIntDef(std::string_view Text, int32_t Default);
// TryStrToInt for any text: the blanks, the sign and the range checked.
std::optional<int32_t> TryStrToIntChecked(std::string_view Text);
// TryStrToInt as a flag and the number in Value (left alone when false): on the paths that read a
// number a line, the result stays in registers.
inline bool TryStrToInt(std::string_view Text, int32_t& Value) {
    // One to nine plain digits, the counts of most files, are read here without a call.
    if (!Text.empty() && Text.size() <= 9) {
        int32_t Digits = 0;
        std::size_t I = 0;
        for (; I < Text.size() && Text[I] >= '0' && Text[I] <= '9'; ++I) {
            Digits = Digits * 10 + (Text[I] - '0');
        }
        if (I == Text.size()) {
            Value = Digits;
            return true;
        }
    }
    const std::optional<int32_t> Checked = TryStrToIntChecked(Text);
    if (Checked) {
        Value = *Checked;
    }
    return Checked.has_value();
}
inline std::optional<int32_t> TryStrToInt(std::string_view Text) {
    int32_t Value = 0;
    return TryStrToInt(Text, Value) ? std::optional<int32_t>(Value) : std::nullopt;
}

// A real with "." as decimal separator (optional sign, digits, fraction, exponent), nothing after;
// leading blanks are allowed. Infinite or NaN results are not a number.
std::optional<double> TryStrToFloat(std::string_view Text);

// Appends Value in decimal with at least Width digits, zeros in front (as printf "%*.*d").
void AppendZeroPadded(std::string& Text, int Value, int Width);

// printf-style formatting into a std::string.
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));

// Real in fixed notation with Decimals decimals and "." as separator, whatever the locale.
std::string FloatToStrFixed(double Value, int Decimals);
