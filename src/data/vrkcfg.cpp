#include "data/vrkcfg.h"

#include <algorithm>

#include "common/clock.h"
#include "common/datetime.h"
#include "common/errors.h"
#include "common/text.h"
#include "common/utils.h"
#include "data/sha1.h"
#include "platform/files.h"

const char* const VrkHeadingLine1 = "Magasin \tDate \tHeure \t CANALS\t\t\t";
const char* const VrkHeadingLine2 = "\t\t\tCNL1\tCNL2\tCNL3\tCNL4";

namespace {

constexpr uint32_t DefaultFlags = 0xF007;
constexpr std::size_t ModelLength = 6;
constexpr std::size_t ShopNameLength = 32;
constexpr std::size_t DoorNameLength = 32;
constexpr std::size_t ChannelNameLength = 64;

bool IsKnownModel(std::string_view Model) {
    return Model == "VRK01" || Model == "KT9" || Model == "QMX" || Model == "VRK08";
}

std::string CutText(std::string_view Text, std::size_t Length) {
    return std::string(Text.substr(0, Length));
}

bool IsDoorType(char C) {
    return C == 'D' || C == 'C' || C == 'P' || C == 'I';
}

// The 1-based character Position of Line, or 0 past its end.
char CharAt(std::string_view Line, int Position) {
    if (Position < 1 || static_cast<std::size_t>(Position) > Line.size()) {
        return '\0';
    }
    return Line[static_cast<std::size_t>(Position - 1)];
}

// Line from the 1-based Position on ("" past the end).
std::string_view RestFrom(std::string_view Line, int Position) {
    if (Position < 1 || static_cast<std::size_t>(Position) > Line.size()) {
        return {};
    }
    return Line.substr(static_cast<std::size_t>(Position - 1));
}

// A door or channel number of at most two digits at the 1-based Position; Length := digits used.
int ReadNumber(std::string_view Line, int Position, int& Length) {
    // One or two plain digits, as every written file has them, are read here; signs, blanks and
    // the end of the line are left to ParseLeadingInt.
    const auto IsDigit = [](char C) { return C >= '0' && C <= '9'; };
    const auto At = static_cast<std::size_t>(Position - 1);
    if (Position >= 1 && At < Line.size() && IsDigit(Line[At])) {
        const int First = Line[At] - '0';
        if (At + 1 < Line.size() && IsDigit(Line[At + 1])) {
            Length = 2;
            return First * 10 + (Line[At + 1] - '0');
        }
        Length = 1;
        return First;
    }
    Length = 2;
    return ParseLeadingInt(Line, Position, Length);
}

// Text without its leading blanks, cut to Length, without the blanks the cut leaves at the end:
// what a reader gives for a trimmed name of at most Length characters.
std::string_view TrimmedName(std::string_view Text, std::size_t Length) {
    return TrimView(TrimView(Text).substr(0, Length));
}

bool IsVrk01(std::string_view Model) {
    return Model == "VRK01";
}

// Appends Value in decimal, as std::to_string writes it.
void AppendInt(std::string& Text, int Value) {
    AppendZeroPadded(Text, Value, 1);
}

// The state and kind letters of a channel line for the channel record Channel.
char KindLetter(const TVrkChannel& Channel) {
    switch (Channel.Kind) {
    case 0:
        return Channel.IsExit ? 'X' : 'E';
    case 1:
        return Channel.IsExit ? 'B' : 'A';
    case 2:
        return Channel.IsExit ? 'D' : 'C';
    default:
        return 'I';
    }
}

// One of the two column headings written between the header and the rows.
bool IsColumnHeading(std::string_view Line) {
    // Both headings start with "Magasin" or an empty field, blanks aside: a row that starts
    // with anything else (a store code) is none.
    if (!Line.empty() && static_cast<unsigned char>(Line[0]) > ' ' && Line[0] != 'M') {
        return false;
    }
    const auto Field = [Line](int Index) { return TrimView(FieldView(Line, '\t', Index)); };
    if (Field(0) == "Magasin") {
        return Field(1) == "Date" || Field(1).empty();
    }
    return Field(0).empty() && Field(1).empty() && Field(2).empty() && Field(3).starts_with("CNL");
}

} // namespace

bool IsDataLine(std::string_view Line) {
    return Line.size() >= 2 && Line[0] != '#' && !IsColumnHeading(Line);
}

TVrkConfig::TVrkConfig() {
    ResetDefaults();
}

void TVrkConfig::SetShopName(std::string_view Name) {
    // Blanks the cut leaves at the end go too: the reader trims them, so a name written and
    // read again stays the same.
    FShopName = TrimRight(CutText(Name, ShopNameLength));
}

TVrkDoor& TVrkConfig::Doors(int Number) {
    if (Number < 1 || Number > VrkDoorCount) {
        throw ERangeError(Format("Door number %d out of range", Number));
    }
    return FDoors[static_cast<std::size_t>(Number - 1)];
}

const TVrkDoor& TVrkConfig::Doors(int Number) const {
    return const_cast<TVrkConfig*>(this)->Doors(Number);
}

TVrkChannel& TVrkConfig::Channels(int Number) {
    if (Number < 1 || Number > VrkChannelCount) {
        throw ERangeError(Format("Channel number %d out of range", Number));
    }
    return FChannels[static_cast<std::size_t>(Number - 1)];
}

const TVrkChannel& TVrkConfig::Channels(int Number) const {
    return const_cast<TVrkConfig*>(this)->Channels(Number);
}

void TVrkConfig::ResetDefaults() {
    Flags = DefaultFlags;
    Signature.clear();
    const bool Kt9 = FModel == "KT9";
    const bool Vrk08 = FModel == "VRK08";
    const bool Qmx = FModel == "QMX";
    for (int C = 1; C <= VrkChannelCount; ++C) {
        TVrkChannel& Ch = FChannels[static_cast<std::size_t>(C - 1)];
        Ch.Name.clear();
        Ch.Door = 1;
        Ch.Kind = 0;
        Ch.IsExit = false;
        if (Kt9) {
            Ch.Active = C <= 4;
        } else if (Vrk08) {
            Ch.Active = C <= 8;
        } else if (Qmx) {
            Ch.Active = true;
        } else {
            Ch.Active = C <= 8;
            Ch.IsExit = C > 4;
        }
    }
    ResetDoors();
    FDoors[0].Defined = true;
}

void TVrkConfig::ResetForModel() {
    Flags = DefaultFlags;
    Signature.clear();
    const bool Qmx = FModel == "QMX";
    const bool Vrk01 = FModel == "VRK01";
    for (int C = 1; C <= VrkChannelCount; ++C) {
        TVrkChannel& Ch = FChannels[static_cast<std::size_t>(C - 1)];
        Ch.Active = false;
        Ch.Name.clear();
        Ch.Kind = 0;
        if (Qmx) {
            Ch.Door = (C - 1) % 16 + 1;
            Ch.IsExit = C > 16;
        } else if (Vrk01) {
            Ch.Door = (C - 1) % 4 + 1;
            Ch.IsExit = C > 4;
        } else {
            Ch.Door = 1;
            Ch.IsExit = false;
        }
    }
    ResetDoors();
}

void TVrkConfig::ResetDoors() {
    // What a new door is once read: undefined, an entrance named "Porte".
    for (TVrkDoor& Door : FDoors) {
        Door.Defined = false;
        Door.Name.assign("Porte");
        Door.DoorType = 'D';
        Door.HasExits = false;
        Door.DoorNumber = 0;
    }
}

void TVrkConfig::RecomputeDoorFlags() {
    for (TVrkDoor& Door : FDoors) {
        Door.Defined = false;
        Door.HasExits = false;
    }
    for (const TVrkChannel& Ch : FChannels) {
        if (Ch.Active && Ch.Door >= 1 && Ch.Door <= VrkDoorCount) {
            TVrkDoor& Door = FDoors[static_cast<std::size_t>(Ch.Door - 1)];
            Door.Defined = true;
            if (Ch.IsExit) {
                Door.HasExits = true;
            }
        }
    }
}

void TVrkConfig::ClearUndefinedDoorNames() {
    for (TVrkDoor& Door : FDoors) {
        if (!Door.Defined) {
            Door.Name.clear();
        }
    }
}

void TVrkConfig::MergeDuplicateDoors() {
    if (IsVrk01(FModel)) {
        return;
    }
    // Names are compared only where their hashes are equal, and not at all when no two hashes
    // are (a table of the hashes tells): a file of distinct names, the usual one, costs a hash
    // per door.
    std::array<uint64_t, VrkDoorCount> Hashes{};
    std::array<uint64_t, 2 * VrkDoorCount> Table{}; // 0 is a free slot; hashes are odd
    bool SameHashes = false;
    for (std::size_t I = 0; I < FDoors.size(); ++I) {
        if (!FDoors[I].Defined) {
            continue;
        }
        const uint64_t Hash = Fnv1a64(FDoors[I].Name) | 1;
        Hashes[I] = Hash;
        std::size_t Slot = Hash % Table.size();
        while (Table[Slot] != 0 && Table[Slot] != Hash) {
            Slot = (Slot + 1) % Table.size();
        }
        SameHashes = SameHashes || Table[Slot] == Hash;
        Table[Slot] = Hash;
    }
    if (!SameHashes) {
        return;
    }
    for (int I = 1; I < VrkDoorCount; ++I) {
        const TVrkDoor& A = FDoors[static_cast<std::size_t>(I - 1)];
        if (!A.Defined) {
            continue;
        }
        const uint64_t Hash = Hashes[static_cast<std::size_t>(I - 1)];
        for (int J = I + 1; J <= VrkDoorCount; ++J) {
            TVrkDoor& B = FDoors[static_cast<std::size_t>(J - 1)];
            if (B.Defined && Hashes[static_cast<std::size_t>(J - 1)] == Hash && A.Name == B.Name) {
                for (TVrkChannel& Ch : FChannels) {
                    if (Ch.Door == J) {
                        Ch.Door = I;
                    }
                }
                B.Defined = false;
            }
        }
    }
}

void TVrkConfig::SetModel(std::string_view Name) {
    FModel = CutText(Name, ModelLength);
    if (!IsKnownModel(FModel)) {
        FModel = "VRK01";
    }
    auto ClearFrom = [this](int First) {
        for (int C = First; C <= VrkChannelCount; ++C) {
            TVrkChannel& Ch = Channels(C);
            Ch.Active = false;
            Ch.IsExit = false;
            Ch.Door = 1;
        }
    };
    if (FModel == "KT9") {
        Flags &= ~(uint32_t{0xF} << 16);
        ClearFrom(5);
        RecomputeDoorFlags();
    } else if (FModel == "VRK08") {
        ClearFrom(9);
        RecomputeDoorFlags();
    } else if (FModel == "QMX") {
        RecomputeDoorFlags();
    } else {
        BuildVrk01Channels();
    }
}

void TVrkConfig::BuildVrk01Channels() {
    for (TVrkChannel& Ch : FChannels) {
        Ch = TVrkChannel{};
        Ch.Door = 1;
    }
    for (int D = 1; D <= 4; ++D) {
        const TVrkDoor& Door = Doors(D);
        TVrkChannel& In = Channels(D);
        In.Active = Door.Defined;
        In.IsExit = false;
        In.Door = D;
        TVrkChannel& Out = Channels(D + 4);
        Out.Active = Door.Defined && Door.HasExits;
        Out.IsExit = true;
        Out.Door = D;
    }
}

void TVrkConfig::ReadHeader(std::string_view Text) {
    ResetDefaults();
    ForEachTextLine(Text, [this](std::string_view Line) {
        if (IsHeaderLine(Line)) {
            TakeHeaderLine(Line);
        }
    });
    FinishHeader();
}

void TVrkConfig::TakeHeaderLine(std::string_view Line) {
    HandleHeaderLine(Line);
    if (OnHeaderLine) {
        OnHeaderLine(*this, std::string(Line));
    }
}

void TVrkConfig::FinishHeader() {
    RecomputeDoorFlags();
    MergeDuplicateDoors();
}

void TVrkConfig::ReadHeaderFromFile(const std::string& FileName) {
    ReadHeader(ReadFileBytes(FileName));
}

void TVrkConfig::HandleHeaderLine(std::string_view Line) {
    switch (Line[1]) {
    case 'T': {
        const std::string_view Model = TrimView(RestFrom(Line, 3)).substr(0, ModelLength);
        FModel.assign(IsKnownModel(Model) ? Model : std::string_view("VRK01"));
        ResetForModel();
        break;
    }
    case ' ': {
        const std::size_t Colon = Line.find(':');
        if (Colon != std::string_view::npos) {
            SetShopName(TrimView(Line.substr(Colon + 1)));
        }
        break;
    }
    case 'D':
        ReadDoorLine(Line);
        break;
    case 'C':
        ReadChannelLine(Line);
        break;
    case 'R': {
        Flags &= ~(uint32_t{0xFFFF} << 12);
        const std::string_view Digits = RestFrom(Line, 3).substr(0, 16);
        for (std::size_t I = 0; I < Digits.size(); ++I) {
            if (Digits[I] == '2') {
                Flags |= uint32_t{1} << (12 + I);
            }
        }
        break;
    }
    case 'K':
        if (auto Value = TryStrToFloat(RestFrom(Line, 3))) {
            KFactor = *Value;
        }
        break;
    case 'F':
        FValue = TryStrToInt(RestFrom(Line, 3)).value_or(0);
        break;
    case 'S':
        Signature = std::string(RestFrom(Line, 3));
        break;
    default:
        break;
    }
}

// "#D" number, type letter, name. A line without a valid number or type letter changes nothing.
void TVrkConfig::ReadDoorLine(std::string_view Line) {
    if (Line.size() <= 3) {
        return;
    }
    int Length = 0;
    const int Number = ReadNumber(Line, 3, Length);
    if (Number < 1 || Number > VrkDoorCount) {
        return;
    }
    const int TypePos = 3 + Length;
    const char Type = CharAt(Line, TypePos);
    if (Type == '\0') {
        return;
    }
    TVrkDoor& Door = FDoors[static_cast<std::size_t>(Number - 1)]; // in range, checked above
    Door.DoorType = IsDoorType(Type) ? Type : 'D';
    // Without the blanks a cut leaves at the end, which a second reading would trim.
    const std::string_view Name = TrimmedName(RestFrom(Line, TypePos + 1), DoorNameLength);
    Door.Name.assign(Name.empty() ? std::string_view("Porte") : Name);
}

// "#C" number, state letter, kind letter, door number, one separator, name. A line with a number
// out of range or too short changes nothing.
void TVrkConfig::ReadChannelLine(std::string_view Line) {
    if (Line.size() <= 5) {
        return;
    }
    int Length = 0;
    const int Number = ReadNumber(Line, 3, Length);
    if (Number < 1 || Number > VrkChannelCount) {
        return;
    }
    const int StatePos = 3 + Length;
    const char State = CharAt(Line, StatePos);
    const char KindChar = CharAt(Line, StatePos + 1);
    if (State == '\0' || KindChar == '\0') {
        return;
    }
    int DoorLength = 0;
    const int Door = ReadNumber(Line, StatePos + 2, DoorLength);
    if (Door < 1 || Door > VrkDoorCount) {
        return;
    }
    TVrkChannel& Ch = FChannels[static_cast<std::size_t>(Number - 1)]; // in range, checked above
    Ch.Active = State != 'I';
    switch (KindChar) {
    case 'A':
        Ch.Kind = 1;
        Ch.IsExit = false;
        break;
    case 'B':
        Ch.Kind = 1;
        Ch.IsExit = true;
        break;
    case 'C':
        Ch.Kind = 2;
        Ch.IsExit = false;
        break;
    case 'D':
        Ch.Kind = 2;
        Ch.IsExit = true;
        break;
    case 'I':
        Ch.Kind = 3;
        Ch.IsExit = false;
        break;
    case 'X':
        Ch.Kind = 0;
        Ch.IsExit = true;
        break;
    default:
        Ch.Kind = 0;
        Ch.IsExit = false;
        break;
    }
    Ch.Door = Door;
    if (Number > 4 && IsVrk01(FModel)) {
        Ch.IsExit = true;
    }
    Ch.Name.assign(RestFrom(Line, StatePos + 2 + DoorLength + 1).substr(0, ChannelNameLength));
}

void TVrkConfig::AppendChannelLine(std::string& Text, int Number) const {
    const TVrkChannel& Ch = Channels(Number);
    char State = 'I';
    char Kind = 'E';
    int Door = Ch.Door;
    if (FModel == "VRK01") {
        const int D = (Number - 1) % 4 + 1;
        const TVrkDoor& DoorRec = Doors(D);
        const bool Exit = Number > 4;
        State = (DoorRec.Defined && (!Exit || DoorRec.HasExits)) ? 'Y' : 'I';
        switch (Ch.Kind) {
        case 1:
            Kind = Exit ? 'B' : 'A';
            break;
        case 2:
            Kind = Exit ? 'D' : 'C';
            break;
        case 3:
            Kind = 'I';
            break;
        default:
            Kind = Exit ? 'X' : 'E';
            break;
        }
        Door = D;
    } else {
        State = Ch.Active ? 'Y' : 'I';
        Kind = KindLetter(Ch);
    }
    Text += "#C";
    AppendInt(Text, Number);
    Text += State;
    Text += Kind;
    AppendInt(Text, Door);
    if (!Ch.Name.empty()) {
        Text += ' ';
        Text += Ch.Name;
    }
}

void TVrkConfig::AppendHeader(std::string& Text, std::vector<std::size_t>* LineEnds) const {
    const auto EndLine = [&] {
        if (LineEnds != nullptr) {
            LineEnds->push_back(Text.size());
        }
        Text += "\r\n";
    };
    Text += "#T";
    Text += FModel;
    EndLine();
    if (!FShopName.empty()) {
        Text += "# Shop name: ";
        Text += FShopName;
        EndLine();
    }
    const TDateTime Now = Clock != nullptr ? Clock->Now() : NowLocal();
    const TDateParts D = DecodeDate(Now);
    const TTimeParts T = DecodeTime(Now);
    Text += "#M dernière mise à jour ";
    AppendDayMonthYear(Text, D.Day, D.Month, D.Year);
    Text += ' ';
    AppendHourMinute(Text, T.Hour, T.Min);
    EndLine();

    int DoorLines = 4;
    int ChannelLines = 8;
    if (FModel == "KT9") {
        for (int N = 1; N <= VrkDoorCount; ++N) {
            if (Doors(N).Defined) {
                DoorLines = std::max(DoorLines, N);
            }
        }
        for (int N = 1; N <= VrkChannelCount; ++N) {
            if (Channels(N).Active) {
                ChannelLines = std::max(ChannelLines, N);
            }
        }
    } else if (FModel == "QMX") {
        DoorLines = VrkDoorCount;
        ChannelLines = VrkChannelCount;
    } else if (FModel == "VRK08") {
        DoorLines = 8;
    }
    for (int N = 1; N <= DoorLines; ++N) {
        const TVrkDoor& Door = Doors(N);
        Text += "#D";
        AppendInt(Text, N);
        Text += Door.DoorType;
        Text += Door.Name;
        EndLine();
    }
    for (int N = 1; N <= ChannelLines; ++N) {
        AppendChannelLine(Text, N);
        EndLine();
    }
    Text += "#R";
    for (int I = 1; I <= 16; ++I) {
        Text += (Flags & (uint32_t{1} << (11 + I))) != 0 ? '2' : '1';
    }
    EndLine();
    Text += "#K";
    Text += FloatToStrFixed(KFactor, 3);
    EndLine();
    Text += "#F";
    AppendInt(Text, FValue);
    EndLine();
    Text += "#S";
    Text += Signature;
    EndLine();
}

void TVrkConfig::BuildHeader(std::vector<std::string>& Lines) const {
    std::string Text;
    std::vector<std::size_t> Ends;
    AppendHeader(Text, &Ends);
    Lines.clear();
    std::size_t Start = 0;
    for (const std::size_t End : Ends) {
        Lines.emplace_back(Text, Start, End - Start);
        Start = End + 2;
    }
}

std::string TVrkConfig::HeaderText() const {
    std::string Text;
    Text.reserve(4096);
    AppendHeader(Text, nullptr);
    return Text;
}

void TVrkConfig::ReadDataLinesFromText(std::string_view Text, std::vector<std::string>& Lines) {
    Lines.clear();
    ReadDataLinesFromText(Text, [&Lines](std::string_view Line) { Lines.emplace_back(Line); });
}

void TVrkConfig::ReadDataLinesFromText(std::string_view Text,
                                       const std::function<void(std::string_view Line)>& Fn) {
    Signature.clear();
    ForEachTextLine(Text, [&](std::string_view Line) {
        if (IsDataLine(Line)) {
            Fn(Line);
        } else if (IsHeaderLine(Line) && Line[1] == 'S') {
            Signature = std::string(RestFrom(Line, 3));
        }
    });
}

void TVrkConfig::ReadDataLines(const std::string& FileName, std::vector<std::string>& Lines) {
    if (!FileExists(FileName)) {
        Signature.clear();
        Lines.clear();
        return;
    }
    ReadDataLinesFromText(ReadFileBytes(FileName), Lines);
}

void TVrkConfig::SetHeaderToFile(const std::string& FileName) {
    std::vector<std::string> Lines;
    ReadDataLines(FileName, Lines);
    WriteWithRows(FileName, Lines);
}

void TVrkConfig::WriteWithRows(const std::string& FileName, const std::vector<std::string>& Rows) {
    std::string Data;
    for (const std::string& Row : Rows) {
        if (IsDataLine(Row)) {
            Data += Row;
            Data += "\r\n";
        }
    }
    WriteWithData(FileName, Data);
}

void TVrkConfig::WriteWithData(const std::string& FileName, std::string_view Data) {
    WriteFileAtomically(FileName, TextWithData(Data));
}

std::string TVrkConfig::TextWithData(std::string_view Data) {
    Signature = Data.empty() ? std::string() : Sha1Hex(Data);
    std::string Content;
    Content.reserve(4096 + Data.size());
    AppendHeader(Content, nullptr);
    Content += VrkHeadingLine1;
    Content += "\r\n";
    Content += VrkHeadingLine2;
    Content += "\r\n";
    Content += Data;
    return Content;
}

void ResetToKt9Layout(TVrkConfig& Config) {
    Config.SetModel("KT9");
    for (int D = 1; D <= VrkDoorCount; ++D) {
        Config.Doors(D) = TVrkDoor{};
    }
    for (int C = 1; C <= VrkChannelCount; ++C) {
        TVrkChannel& Channel = Config.Channels(C);
        Channel = TVrkChannel{};
        Channel.Door = (C + 1) / 2;
        Channel.IsExit = C % 2 == 0;
    }
}
