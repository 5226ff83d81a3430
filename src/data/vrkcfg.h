// The header of a counting data file (".vrk"): device model, store name, doors, channels,
// flags and the signature of the data rows, with the rules that read, build and write it.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/text.h"

class TClock;

constexpr int VrkDoorCount = 32;
constexpr int VrkChannelCount = 64;

// The two column-heading lines between the header and the data rows.
extern const char* const VrkHeadingLine1;
extern const char* const VrkHeadingLine2;

struct TVrkDoor {
    bool Defined = false;
    std::string Name;    // at most 32 characters
    char DoorType = 'D'; // 'D' entrance, 'C' corridor, 'P' parking, 'I'
    bool HasExits = false;
    uint16_t DoorNumber = 0; // not stored in the file
};

struct TVrkChannel {
    bool Active = false;
    bool IsExit = false;
    int32_t Door = 0; // 1..32
    int32_t Kind = 0; // 0..3
    std::string Name; // at most 64 characters
};

// A line is a header line when it starts with "#" and has at least 2 characters; a data line
// when it has at least 2 characters, does not start with "#" and is not one of the two column
// headings. The headings are known by their fields ("Magasin" then "Date" or nothing; three
// empty fields then "CNL..."), never by words found anywhere in the line, so that a row of a
// store named "Magasin Rivoli" stays a data row.
inline bool IsHeaderLine(std::string_view Line) {
    return Line.size() >= 2 && Line[0] == '#';
}
bool IsDataLine(std::string_view Line);

class TVrkConfig;

// Model "KT9", every door undefined and unnamed, every channel inactive, channels 2k-1 and 2k
// being the entry and exit channels of door k. Flags and the shop name are left as they are.
void ResetToKt9Layout(TVrkConfig& Config);

// One header, owned by the converter that reads or writes the file; not shared between threads.
// Reading never raises on content; writing raises EOSError when the file cannot be replaced.
class TVrkConfig {
public:
    using THeaderLineEvent = std::function<void(TVrkConfig& Sender, const std::string& Line)>;

    TVrkConfig();

    const std::string& Model() const { return FModel; }
    // Model := Name cut to 6 characters (unknown codes become "VRK01"); adapts doors and channels.
    void SetModel(std::string_view Name);

    const std::string& ShopName() const { return FShopName; }
    void SetShopName(std::string_view Name); // cut to 32 characters

    // Doors and channels by their 1-based numbers; raise ERangeError outside 1..32 / 1..64.
    TVrkDoor& Doors(int Number);
    const TVrkDoor& Doors(int Number) const;
    TVrkChannel& Channels(int Number);
    const TVrkChannel& Channels(int Number) const;

    void ResetDefaults();
    void ResetForModel();
    // Every door loses Defined and HasExits; the doors of active channels get them back.
    void RecomputeDoorFlags();
    // Defined doors with equal names become one: channels of the later door move to the earlier.
    // Not in the fixed four-door layout (VRK01), where a channel's door is given by its number.
    void MergeDuplicateDoors();
    // Readers name every door "Porte" when its line has no name; a file that is read, merged
    // into and written again gives its doors without channels no name, as a new file does, so
    // that the same input merged twice gives the same file.
    void ClearUndefinedDoorNames();

    // Takes in every header line of Text (the whole content of a counting file); other lines and
    // malformed header lines are skipped.
    void ReadHeader(std::string_view Text);
    // The same for the file FileName; raises EOSError when it cannot be read.
    void ReadHeaderFromFile(const std::string& FileName);
    // ReadHeader, handing each data line (a view into Text) to Fn in file order in the same pass
    // over the lines: what ReadHeader and then ReadDataLinesFromText give.
    template <class F>
    void ReadHeaderAndDataLines(std::string_view Text, F&& Fn) {
        ResetDefaults();
        ForEachTextLine(Text, [this, &Fn](std::string_view Line) {
            if (IsHeaderLine(Line)) {
                TakeHeaderLine(Line);
            } else if (IsDataLine(Line)) {
                Fn(Line);
            }
        });
        FinishHeader();
    }

    // The header lines in file order; the update stamp is the clock's local time.
    void BuildHeader(std::vector<std::string>& Lines) const;
    std::string HeaderText() const;

    // Signature := the "#S" text of Text (empty without one); Lines := its data lines.
    void ReadDataLinesFromText(std::string_view Text, std::vector<std::string>& Lines);
    // The same, handing each data line (a view into Text) to Fn in file order.
    void ReadDataLinesFromText(std::string_view Text,
                               const std::function<void(std::string_view Line)>& Fn);
    // The same for a file; a missing file gives no lines, an unreadable one raises EOSError.
    void ReadDataLines(const std::string& FileName, std::vector<std::string>& Lines);

    // Rewrites FileName with this header, the column headings, its current data lines and a
    // fresh signature, in one atomic replacement. Raises EOSError on failure.
    void SetHeaderToFile(const std::string& FileName);
    // Writes FileName with this header, the column headings and those of Rows that are data
    // lines (with their signature), in one atomic replacement. Raises EOSError on failure.
    void WriteWithRows(const std::string& FileName, const std::vector<std::string>& Rows);
    // The same with Data, data lines each ended by CR LF, as the rows.
    void WriteWithData(const std::string& FileName, std::string_view Data);
    // What WriteWithData writes, signing Data.
    std::string TextWithData(std::string_view Data);

    uint32_t Flags = 0xF007;
    double KFactor = 1.0;
    int32_t FValue = 0;
    std::string Signature;
    THeaderLineEvent OnHeaderLine;
    // Source of the update stamp; null means the system's local time.
    const TClock* Clock = nullptr;

private:
    void ResetDoors();
    // One header line read: its fields taken in, then OnHeaderLine told.
    void TakeHeaderLine(std::string_view Line);
    // After the last line: door flags from the channels, duplicate doors merged.
    void FinishHeader();
    void HandleHeaderLine(std::string_view Line);
    void ReadDoorLine(std::string_view Line);
    void ReadChannelLine(std::string_view Line);
    void BuildVrk01Channels();
    void AppendChannelLine(std::string& Text, int Number) const;
    // Appends the header lines, each ended by CR LF; LineEnds, when given, gets where each line
    // ends (before its CR LF).
    void AppendHeader(std::string& Text, std::vector<std::size_t>* LineEnds) const;

    std::string FModel = "VRK01";
    std::string FShopName;
    std::array<TVrkDoor, VrkDoorCount> FDoors;
    std::array<TVrkChannel, VrkChannelCount> FChannels;
};
