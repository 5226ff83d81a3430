// Text helpers shared by every module: fields, clamped substrings, ASCII case, trimming and the
// number parsing rules used for files and configuration values. Text is handled as bytes.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

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

// Bit i of the answer is set when Text[From + i] is one of Bytes (one to three bytes), for the
// (at most 64) bytes from From on; no byte outside Text is read. From must not be past the end.
template <class... TBytes>
requires(sizeof...(TBytes) >= 1 && sizeof...(TBytes) <= 3 &&
         (std::is_same_v<TBytes, char> && ...)) inline uint64_t
    ByteMask64(std::string_view Text, std::size_t From, TBytes... Bytes) {
    const char* const P = Text.data() + From;
    const std::size_t Left = Text.size() - From;
#ifdef __SSE2__
    const auto Mask16 = [Bytes...](const char* Q) {
        const __m128i Block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(Q));
        const __m128i Hit = (_mm_cmpeq_epi8(Block, _mm_set1_epi8(Bytes)) | ...);
        return uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(Hit))};
    };
    if (Left >= 64) {
        return Mask16(P) | Mask16(P + 16) << 16 | Mask16(P + 32) << 32 | Mask16(P + 48) << 48;
    }
    uint64_t Mask = 0;
    std::size_t I = 0;
    for (; I + 16 <= Left; I += 16) {
        Mask |= Mask16(P + I) << I;
    }
    if (I == Left) {
        return Mask;
    }
    if (Text.size() >= 16) {
        // The last sixteen bytes of Text, of which the Left - I at the top are wanted.
        return Mask | (Mask16(Text.data() + Text.size() - 16) >> (16 - (Left - I))) << I;
    }
#else
    uint64_t Mask = 0;
    std::size_t I = 0;
#endif
    for (const std::size_t Stop = std::min<std::size_t>(Left, 64); I < Stop; ++I) {
        Mask |= uint64_t{((P[I] == Bytes) || ...)} << I;
    }
    return Mask;
}

// Eight bytes with ASCII letters in lower case: every byte from 'A' to 'Z' gets the bit 0x20,
// all others are left as they are. Two words are equal with case ignored when their lower forms
// are.
constexpr uint64_t LowerAsciiWord(uint64_t Word) {
    constexpr uint64_t Ones = 0x0101010101010101ULL;
    const uint64_t Low = Word & (0x7F * Ones);
    const uint64_t AboveZ = Low + (0x7F - 'Z') * Ones;
    const uint64_t FromA = Low + (0x80 - 'A') * Ones;
    const uint64_t Upper = ~Word & (FromA ^ AboveZ) & (0x80 * Ones);
    return Word | Upper >> 2;
}

// A text of fewer than eight bytes as one word, for the word-at-a-time helpers: its first and
// last four bytes when it has four or more, else its bytes and zeros.
inline uint64_t ShortTextWord(std::string_view Text) {
    const char* const P = Text.data();
    const std::size_t N = Text.size();
    if (N >= 4) {
        uint32_t First = 0, Last = 0;
        std::memcpy(&First, P, 4);
        std::memcpy(&Last, P + N - 4, 4);
        return uint64_t{First} | uint64_t{Last} << 32;
    }
    uint64_t Word = 0;
    for (std::size_t I = 0; I < N; ++I) {
        Word |= uint64_t{static_cast<unsigned char>(P[I])} << (8 * I);
    }
    return Word;
}

// Calls Take(WordA, WordB) with the eight-byte words that together cover A and B, two texts of
// the same length, word for word at the same places, until Take answers false; answers whether it
// never did. The last words overlap the ones before, so a byte may be seen twice; texts shorter
// than eight bytes are one word each (ShortTextWord). Always inline: it serves comparisons of a
// few bytes on hot paths, where a call costs as much as the comparison.
template <class F>
[[gnu::always_inline]] inline bool ForEveryWordPair(std::string_view A, std::string_view B,
                                                    F&& Take) {
    const std::size_t N = A.size();
    if (N < 8) {
        return Take(ShortTextWord(A), ShortTextWord(B));
    }
    const auto Load = [](std::string_view Text, std::size_t At) {
        uint64_t Word = 0;
        std::memcpy(&Word, Text.data() + At, 8);
        return Word;
    };
    for (std::size_t At = 0; At + 8 < N; At += 8) {
        if (!Take(Load(A, At), Load(B, At))) {
            return false;
        }
    }
    return Take(Load(A, N - 8), Load(B, N - 8));
}

// The same for the words of one text: Take(Word).
template <class F>
bool ForEveryWordOf(std::string_view Text, F&& Take) {
    return ForEveryWordPair(Text, Text, [&Take](uint64_t Word, uint64_t) { return Take(Word); });
}

// FNV-1a of Text, for the tables that compare names by hash before they compare the names.
inline uint64_t Fnv1a64(std::string_view Text) {
    uint64_t Hash = 0xCBF29CE484222325u;
    for (const char C : Text) {
        Hash = (Hash ^ static_cast<uint8_t>(C)) * 0x100000001B3u;
    }
    return Hash;
}

// Calls Take(I) for every position I from From on where Text[I] is C, in order, until Take
// answers true; answers whether it did. The bytes are looked at 64 at a time (ByteMask64): the
// fields this serves are short, where a search call per field costs more than the field, and a
// byte-by-byte scan most of all.
template <class F>
bool ForEachByteOf(std::string_view Text, std::size_t From, char C, F&& Take) {
    for (std::size_t Base = From; Base < Text.size(); Base += 64) {
        for (uint64_t Hits = ByteMask64(Text, Base, C); Hits != 0; Hits &= Hits - 1) {
            if (Take(Base + static_cast<std::size_t>(std::countr_zero(Hits)))) {
                return true;
            }
        }
    }
    return false;
}

namespace text_detail {
// Bit i of the answer is set when byte i of the 64 bytes at P is A, B or C.
inline uint64_t MatchMask64(const char* P, char A, char B, char C) {
#ifdef __SSE2__
    const __m128i VA = _mm_set1_epi8(A), VB = _mm_set1_epi8(B), VC = _mm_set1_epi8(C);
    uint64_t Mask = 0;
    for (int I = 0; I < 4; ++I) {
        const __m128i V = _mm_loadu_si128(reinterpret_cast<const __m128i*>(P + 16 * I));
        const __m128i Hit = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(V, VA), _mm_cmpeq_epi8(V, VB)),
                                         _mm_cmpeq_epi8(V, VC));
        Mask |= uint64_t{static_cast<uint16_t>(_mm_movemask_epi8(Hit))} << (16 * I);
    }
    return Mask;
#else
    uint64_t Mask = 0;
    for (int I = 0; I < 64; ++I) {
        Mask |= uint64_t{P[I] == A || P[I] == B || P[I] == C} << I;
    }
    return Mask;
#endif
}
} // namespace text_detail

// A == B, for the short names and stamps of input lines without a library call: eight bytes
// are compared at a time.
inline bool SameBytes(std::string_view A, std::string_view B) {
    return A.size() == B.size() &&
           ForEveryWordPair(A, B, [](uint64_t X, uint64_t Y) { return X == Y; });
}

// Where the line starting at From ends: the position of the first CR or LF at or after From,
// Text.size() when there is none.
std::size_t FindLineBreak(std::string_view Text, std::size_t From);

// Calls Fn(std::string_view) for every line of Text; lines end at CR LF, LF or a lone CR.
template <class F>
void ForEachTextLine(std::string_view Text, F&& Fn) {
    // One scan for either end byte: every byte is looked at once.
    const std::size_t N = Text.size();
    std::size_t Start = 0;
    while (Start < N) {
        std::size_t End = FindLineBreak(Text, Start);
        Fn(Text.substr(Start, End - Start));
        if (End + 1 < N && Text[End] == '\r' && Text[End + 1] == '\n') {
            ++End;
        }
        Start = End + 1;
    }
}

// Splits Text into lines as ForEachTextLine does (ended by CR LF, LF or a lone CR) and each line
// at every Separator, in one pass over the bytes: for every line calls Fn(Line, Fields, Count)
// with Fields (a std::span<std::string_view, N>) holding the first Count fields of the line
// (Count at most N), each cut to MaxLength characters, the rest empty. Fn may change Fields.
// Separator must not be CR or LF.
template <std::size_t N, class F>
void ForEachLineFields(std::string_view Text, char Separator, std::size_t MaxLength, F&& Fn) {
    static_assert(N > 0);
    // Slot N takes the fields after the first N, so that no test is needed before a field is
    // stored.
    std::array<std::string_view, N + 1> Fields{};
    const char* const Data = Text.data();
    const std::size_t Size = Text.size();
    std::size_t LineStart = 0, FieldStart = 0, Count = 0, Filled = 0;
    std::size_t AfterCr = std::string_view::npos; // the position after the last CR
    const auto EndLine = [&](std::size_t End) {
        Fields[std::min(Count, N)] = std::string_view(Data + FieldStart, End - FieldStart);
        const std::size_t Taken = std::min(Count + 1, N);
        if (End - LineStart > MaxLength) {
            for (std::size_t I = 0; I < Taken; ++I) {
                Fields[I] = Fields[I].substr(0, MaxLength); // only a long line has long fields
            }
        }
        for (std::size_t I = Taken; I < Filled; ++I) {
            Fields[I] = std::string_view(); // the fields the line before filled
        }
        Filled = Taken;
        Fn(std::string_view(Data + LineStart, End - LineStart),
           std::span<std::string_view, N>(Fields.data(), N), Taken);
        Count = 0;
        LineStart = FieldStart = End + 1;
    };
    const auto Visit = [&](std::size_t Base, uint64_t Mask) {
        while (Mask != 0) {
            const std::size_t At = Base + static_cast<std::size_t>(std::countr_zero(Mask));
            Mask &= Mask - 1;
            const char C = Data[At];
            if (C == Separator) {
                Fields[std::min(Count, N)] = std::string_view(Data + FieldStart, At - FieldStart);
                ++Count;
                FieldStart = At + 1;
            } else if (C == '\r') {
                EndLine(At);
                AfterCr = At + 1;
            } else if (At == AfterCr) {
                LineStart = FieldStart = At + 1; // the LF of a CR LF
            } else {
                EndLine(At);
            }
        }
    };
    std::size_t Base = 0;
    for (; Base + 64 <= Size; Base += 64) {
        Visit(Base, text_detail::MatchMask64(Data + Base, Separator, '\r', '\n'));
    }
    if (Base < Size) {
        char Tail[64] = {};
        std::memcpy(Tail, Data + Base, Size - Base);
        const uint64_t Valid = (uint64_t{1} << (Size - Base)) - 1;
        Visit(Base, text_detail::MatchMask64(Tail, Separator, '\r', '\n') & Valid);
    }
    if (LineStart < Size) {
        EndLine(Size); // the last line, without an end
    }
}

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
