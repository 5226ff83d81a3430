#include "service/fcssrv.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>

#include "common/debuglog.h"
#include "common/errors.h"
#include "common/home.h"
#include "common/text.h"
#include "platform/dirsync.h"
#include "platform/files.h"
#include "service/converters.h"
#include "service/pipeservers.h"
#include "testing/fake_clock.h"
#include "testing/fake_service_host.h"
#include "testing/hooked_service.h"
#include "testing/temp_dir.h"

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::Not;
using ::testing::ThrowsMessage;
using ::testing::UnorderedElementsAre;

namespace fs = std::filesystem;

namespace {

using TTestService = THookedService;

// Pipe servers that record their calls and fail to start the info server when told to.
class TRecordingPipes : public TPipeServers {
public:
    void StartInfoServer(const std::string& Name) override {
        Calls.push_back("start " + Name);
        if (FailInfo) {
            throw EOSError("Cannot create pipe ZirInfo");
        }
    }
    void StartControlServer(const std::string& Name, const std::string& Ini) override {
        Calls.push_back("start " + Name + " " + Ini);
    }
    void StopControlServer() override { Calls.push_back("stop control"); }
    void StopInfoServer() override { Calls.push_back("stop info"); }
    std::vector<std::string> Calls;
    bool FailInfo = false;
};

class ServiceTest : public ::testing::Test {
protected:
    // InitHome points TEMP and TMP at the home, which goes away with the test: they are put back.
    ServiceTest() : SavedTemp(EnvValue("TEMP")), SavedTmp(EnvValue("TMP")) {
        InitHome(Home.Dir());
        SetLogClock(&Clock);
    }
    ~ServiceTest() override {
        SetLogClock(nullptr);
        SetLogFile(nullptr, "debug.txt");
        RestoreEnv("TEMP", SavedTemp);
        RestoreEnv("TMP", SavedTmp);
    }
    static std::optional<std::string> EnvValue(const char* Name) {
        const char* Value = std::getenv(Name);
        return Value != nullptr ? std::optional<std::string>(Value) : std::nullopt;
    }
    static void RestoreEnv(const char* Name, const std::optional<std::string>& Value) {
        if (Value) {
            setenv(Name, Value->c_str(), 1);
        } else {
            unsetenv(Name);
        }
    }
    const std::optional<std::string> SavedTemp, SavedTmp;

    // A slot section: watched directory In/<Name>, output Out/<Name>, the given type.
    std::string Slot(int Index, const std::string& Name, const char* Type = "NONE") {
        fs::create_directories(Home.Path("in/" + Name));
        fs::create_directories(Home.Path("out/" + Name));
        return Format("[Directory%d]\r\nTrackDirectory=%s\r\nConvType=%s\r\nOutDir=%s\r\n", Index,
                      Home.Path("in/" + Name).c_str(), Type, Home.Path("out/" + Name).c_str());
    }
    void Ini(const std::string& Sections, bool Detailed = true) {
        Home.Write("tarno.ini",
                   Format("[General]\r\nLogDetailed=%d\r\n", Detailed ? 1 : 0) + Sections);
    }
    void Files(const std::string& Name, std::initializer_list<const char*> Names) {
        for (const char* File : Names) {
            Home.Write("in/" + Name + "/" + File, File);
        }
    }
    bool Start() {
        bool Started = true;
        Service.ServiceStart(Started);
        return Started;
    }
    // The texts of the log lines, without their time stamps.
    std::vector<std::string> LogTexts(bool WithTime = false) const {
        std::vector<std::string> Texts;
        const std::string Text = Home.Read("tarno.log");
        size_t Pos = 0;
        while (Pos < Text.size()) {
            size_t End = Text.find("\r\n", Pos);
            const std::string Line = Text.substr(Pos, End - Pos);
            Texts.push_back(WithTime ? Line.substr(11) : Line.substr(Line.find('\t') + 1));
            Pos = End + 2;
        }
        return Texts;
    }
    // The log texts from the first one that starts with From.
    std::vector<std::string> LogFrom(const std::string& From) const {
        std::vector<std::string> All = LogTexts();
        auto It = std::find_if(All.begin(), All.end(),
                               [&](const std::string& T) { return T.starts_with(From); });
        return {It, All.end()};
    }
    std::vector<std::string> Names(const std::string& Dir) const {
        std::vector<std::string> Result;
        for (const auto& E : fs::directory_iterator(Home.Path(Dir))) {
            Result.push_back(E.path().filename().string());
        }
        std::sort(Result.begin(), Result.end());
        return Result;
    }

    TTempDir Home;
    TFakeClock Clock{EncodeDateTime(2008, 3, 25, 17, 0, 0, 0)};
    TFakeServiceHost Host;
    TRecordingPipes Pipes;
    TTestService Service{{Clock, Host, Pipes, nullptr}};
};

TEST_F(ServiceTest, SchedulesThePasses) {
    struct {
        const char* Name;
        bool ExactMode;
        const char* Times; // "" leaves the list empty
        int Interval;
        TDateTime Start, FirstWant, PassEnd, NextWant;
    } Cases[] = {
        {"interval", false, "18:00", 60, EncodeDateTime(2008, 3, 25, 17, 0, 0, 0),
         EncodeDateTime(2008, 3, 25, 17, 0, 5, 0), EncodeDateTime(2008, 3, 25, 17, 0, 9, 0),
         EncodeDateTime(2008, 3, 25, 17, 1, 9, 0)},
        {"nearest time ahead", true, "08:00 18:00", 60, EncodeDateTime(2008, 3, 25, 17, 0, 0, 0),
         EncodeDateTime(2008, 3, 25, 18, 0, 0, 0), EncodeDateTime(2008, 3, 25, 18, 0, 0, 300),
         EncodeDateTime(2008, 3, 26, 8, 0, 0, 0)},
        {"nearest time past", true, "08:00 18:00", 60, EncodeDateTime(2008, 3, 25, 10, 0, 0, 0),
         EncodeDateTime(2008, 3, 25, 10, 0, 5, 0), EncodeDateTime(2008, 3, 25, 10, 0, 6, 0),
         EncodeDateTime(2008, 3, 25, 18, 0, 0, 0)},
        {"same time rounded", true, "18:00", 60, EncodeDateTime(2008, 3, 25, 17, 59, 57, 0),
         EncodeDateTime(2008, 3, 25, 18, 0, 2, 0), EncodeDateTime(2008, 3, 25, 18, 0, 0, 300),
         EncodeDateTime(2008, 3, 26, 18, 0, 0, 0)},
        {"after midnight", true, "08:00 18:00", 60, EncodeDateTime(2008, 3, 25, 23, 59, 0, 0),
         EncodeDateTime(2008, 3, 25, 23, 59, 5, 0), EncodeDateTime(2008, 3, 26, 0, 0, 1, 0),
         EncodeDateTime(2008, 3, 26, 8, 0, 0, 0)},
        {"empty list", true, "", 30, EncodeDateTime(2008, 3, 25, 17, 0, 0, 0),
         EncodeDateTime(2008, 3, 25, 17, 0, 5, 0), EncodeDateTime(2008, 3, 25, 17, 0, 5, 0),
         EncodeDateTime(2008, 3, 25, 17, 0, 35, 0)},
        {"zero interval", false, "18:00", 0, EncodeDateTime(2008, 3, 25, 17, 0, 0, 0),
         EncodeDateTime(2008, 3, 25, 17, 0, 5, 0), EncodeDateTime(2008, 3, 25, 17, 0, 5, 0),
         EncodeDateTime(2008, 3, 25, 17, 0, 6, 0)},
        {"negative interval", false, "18:00", -5, EncodeDateTime(2008, 3, 25, 17, 0, 0, 0),
         EncodeDateTime(2008, 3, 25, 17, 0, 5, 0), EncodeDateTime(2008, 3, 25, 17, 0, 5, 0),
         EncodeDateTime(2008, 3, 25, 17, 0, 6, 0)},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.Name);
        TBaseFtConfig& Config = Service.GetConfig();
        Config.ExactTimeMode = C.ExactMode;
        Config.ExactTime.SetText(C.Times);
        Config.TimeBetweenActions = C.Interval;
        Clock.Set(C.Start);
        Service.ScheduleFirstAction();
        EXPECT_NEAR(Service.GetNextActionTime(), C.FirstWant, OneMillisecond);
        Clock.Set(C.PassEnd);
        Service.ScheduleNextAction();
        EXPECT_NEAR(Service.GetNextActionTime(), C.NextWant, OneMillisecond);
    }
}

// The interval between passes is measured on the monotonic clock, so a wall clock set back (or
// forward) neither holds the passes back nor brings them forward; exact times follow the wall
// clock.
TEST_F(ServiceTest, IntervalsAreMeasuredOnTheMonotonicClock) {
    const TDateTime OneHour = 1.0 / 24;
    Ini(Slot(0, "a"), false);
    ASSERT_TRUE(Start());
    Service.ScheduleFirstAction();
    Clock.Set(Clock.Now() - OneHour);
    Clock.Advance(5001);
    EXPECT_TRUE(Service.IsTimeToAct());

    Service.ScheduleNextAction();
    Clock.Set(Clock.Now() - OneHour);
    Clock.Advance(59000);
    EXPECT_FALSE(Service.IsTimeToAct());
    Clock.Advance(1001);
    EXPECT_TRUE(Service.IsTimeToAct());

    Service.ScheduleNextAction();
    Clock.Set(Clock.Now() + OneHour);
    EXPECT_FALSE(Service.IsTimeToAct());

    Service.GetConfig().ExactTimeMode = true;
    Service.GetConfig().ExactTime.SetText("18:00");
    Clock.Set(EncodeDateTime(2008, 3, 25, 17, 59, 0, 0));
    Service.ScheduleNextAction();
    EXPECT_FALSE(Service.IsTimeToAct());
    Clock.Set(EncodeDateTime(2008, 3, 25, 18, 0, 1, 0));
    EXPECT_TRUE(Service.IsTimeToAct());
}

TEST_F(ServiceTest, LoopRunsPassesOnTimeAndStopsOnRequest) {
    Ini(Slot(0, "a") + "[General]\r\n", false);
    Files("a", {"one.txt"});
    Clock.OnSleep = [&] {
        if (Clock.Now() >= EncodeDateTime(2008, 3, 25, 17, 0, 30, 0) &&
            !fs::exists(Home.Path("in/a/two.txt"))) {
            Files("a", {"two.txt"});
        }
        if (Clock.Now() >= EncodeDateTime(2008, 3, 25, 17, 2, 0, 0) &&
            Host.PendingRequests().empty()) {
            Host.PostRequest(ServiceControlStop);
        }
    };
    EXPECT_EQ(Host.Run(Service), 0);
    EXPECT_THAT(LogTexts(true),
                ElementsAre("17:00:00\tTarno service started",
                            "17:00:00\tMonitor directory " + Home.Path("in/a") + " -> " +
                                Home.Path("out/a"),
                            "17:00:05\tprocessed 1 files OK, 0 files bad, elapsed 0:00:00:000",
                            "17:01:05\tprocessed 1 files OK, 0 files bad, elapsed 0:00:00:000",
                            "17:02:00\tTarno service stopped"));
    EXPECT_THAT(Names("out/a"), ElementsAre("one.txt", "two.txt"));
    EXPECT_TRUE(Host.Terminated());
    EXPECT_EQ(Host.State(), TServiceState::Stopped);
}

TEST_F(ServiceTest, PassCountsAndLogsEachChain) {
    Ini(Slot(0, "a") + Slot(5, "b") + Slot(9, "gone"));
    fs::remove(Home.Path("in/gone"));
    Files("a", {"1.txt", "2.txt"});
    Files("b", {"3.txt", "4.txt", "5.txt"});
    ASSERT_TRUE(Start());
    Service.BeforeFile = [&](const std::string&) { Clock.Advance(100); };
    Service.RunDirectoryPass();
    const std::string A = Home.Path("in/a"), B = Home.Path("in/b");
    const std::string PA = A + "  (NONE): ", PB = B + "  (NONE): ";
    EXPECT_THAT(
        LogFrom("Processing chain"),
        ElementsAre("Processing chain " + A, PA + "processing file " + A + "/2.txt",
                    PA + "processing file " + A + "/1.txt",
                    PA + "processed directory " + A + ", elasped 0:00:00:200",
                    PA + "postprocessing after 2 source files finished, elapsed 0:00:00:000",
                    "processed 2 files OK, 0 files bad, elapsed 0:00:00:200",
                    "Processing chain " + B, PB + "processing file " + B + "/5.txt",
                    PB + "processing file " + B + "/4.txt", PB + "processing file " + B + "/3.txt",
                    PB + "processed directory " + B + ", elasped 0:00:00:300",
                    PB + "postprocessing after 3 source files finished, elapsed 0:00:00:000",
                    "processed 3 files OK, 0 files bad, elapsed 0:00:00:500",
                    "Processing chain " + Home.Path("in/gone"),
                    "Directory does not exist \"" + Home.Path("in/gone") + "\""));
    const TServiceStatus S = Service.StatusSnapshot();
    EXPECT_EQ(S.LastGroupOk, 3);
    EXPECT_EQ(S.LastGroupBad, 0);
    EXPECT_EQ(S.LastGroupElapsedMs, 500);
    EXPECT_EQ(S.LastFileOk, "in/b/3.txt");
    EXPECT_TRUE(S.Idle);
    EXPECT_THAT(S.LogPrefix, IsEmpty());
    EXPECT_EQ(S.LastErrorText, "Directory does not exist \"" + Home.Path("in/gone") + "\"");
    EXPECT_EQ(Service.GetCurrentDirIndex(), 63);
    EXPECT_TRUE(fs::exists(Home.Path("in/a/fclist_none0.dst")));
    EXPECT_TRUE(fs::exists(Home.Path("in/b/fclist_none5.dst")));

    const size_t Before = LogTexts().size();
    Service.RunDirectoryPass(); // nothing changed: only the chain messages and the missing one
    const std::vector<std::string> After = LogTexts();
    EXPECT_THAT(std::vector<std::string>(After.begin() + static_cast<long>(Before), After.end()),
                ElementsAre("Processing chain " + A, "Processing chain " + B,
                            "Processing chain " + Home.Path("in/gone"),
                            "Directory does not exist \"" + Home.Path("in/gone") + "\""));
}

// The outputs of a status list are made durable together, after the last of them and before
// the status file that records them: a crash never leaves a record of an output that is lost.
TEST_F(ServiceTest, StatusFileIsSavedOnlyAfterItsOutputsDirectoryIsSynced) {
    Ini(Slot(0, "a"));
    Files("a", {"1.txt", "2.txt", "3.txt"});
    ASSERT_TRUE(Start());
    std::vector<std::string> Events;
    SetFileSyncObserver([&](std::string_view Event, const std::string& Path) {
        Events.push_back(std::string(Event) + " " + Path.substr(Home.Dir().size()));
    });
    Service.RunDirectoryPass();
    SetFileSyncObserver(nullptr);
    EXPECT_THAT(Events,
                ElementsAre("rename /out/a/3.txt", "rename /out/a/2.txt", "rename /out/a/1.txt",
                            "sync /out/a", "rename /in/a/fclist_none0.dst", "sync /in/a"));
}

TEST_F(ServiceTest, FailingFileIsCountedBadAndOfferedAgain) {
    Ini(Slot(0, "a"));
    Files("a", {"x.txt"});
    ASSERT_TRUE(Start());
    Home.Write("blocker", "");
    TConvParams& Params = Service.GetZirConfig().GetParams(0);
    for (const char* OutDir : {"", "blocker/sub"}) {
        SCOPED_TRACE(OutDir);
        Params.OutDir = *OutDir != '\0' ? Home.Path(OutDir) : "";
        Service.RunDirectoryPass();
        EXPECT_THAT(LogTexts(), Contains("processed 0 files OK, 1 files bad, elapsed 0:00:00:000"));
        EXPECT_EQ(Service.StatusSnapshot().LastFileBad, "in/a/x.txt");
    }
    EXPECT_THAT(LogTexts(), Contains(Home.Path("in/a") + "  (NONE): " + Home.Path("in/a/x.txt") +
                                     " : Output directory not set"));
    Params.OutDir = Home.Path("out/a");
    Service.RunDirectoryPass();
    EXPECT_THAT(LogTexts().back(), "processed 1 files OK, 0 files bad, elapsed 0:00:00:000");
    EXPECT_THAT(Names("out/a"), ElementsAre("x.txt"));
}

TEST_F(ServiceTest, WatchedDirectoriesLongerThan255BytesAreConverted) {
    const std::string Name =
        std::string(100, 'a') + "/" + std::string(100, 'b') + "/" + std::string(100, 'c');
    Ini(Slot(0, Name));
    Files(Name, {"x.txt"});
    ASSERT_TRUE(Start());
    Service.RunDirectoryPass();
    EXPECT_THAT(LogTexts().back(), "processed 1 files OK, 0 files bad, elapsed 0:00:00:000");
    EXPECT_THAT(Names("out/" + Name), ElementsAre("x.txt"));
}

TEST_F(ServiceTest, TypeWithoutConverterFailsItsFiles) {
    const TConvTypeInfo* Missing = nullptr;
    for (const TConvTypeInfo& Type : ConvTypeTable()) {
        const TConverter* Row = FindConverter(Type.Code);
        if (Row == nullptr || (Row->Entry == nullptr && Row->StoreEntry == nullptr)) {
            const bool Plain = Row == nullptr || (!Row->StoreTrees && Row->OnlyFileName == nullptr);
            Missing = Plain ? &Type : Missing;
        }
    }
    if (Missing == nullptr) {
        GTEST_SKIP() << "every conversion type has its converter";
    }
    Ini(Slot(0, "a", Missing->Name));
    Home.Write(std::string("in/a/x.") + (std::string(Missing->Create()->FileExt) == "*"
                                             ? "txt"
                                             : Missing->Create()->FileExt),
               "");
    ASSERT_TRUE(Start());
    Service.RunDirectoryPass();
    EXPECT_THAT(Service.StatusSnapshot().LastErrorText,
                HasSubstr(std::string(" : Conversion type ") + Missing->Name +
                          " is not available in this build"));
    EXPECT_THAT(LogTexts().back(), "processed 0 files OK, 1 files bad, elapsed 0:00:00:000");
}

TEST_F(ServiceTest, OnlyTheNamedFileOfAnXlSoftSlotIsConverted) {
    Ini(Slot(0, "pos", "XLSOFT"));
    Files("pos", {"bocaisse.txt", "other.txt"});
    ASSERT_TRUE(Start());
    Service.RunDirectoryPass();
    const std::string Status = Home.Read("in/pos/fclist_xlsoft0.dst");
    EXPECT_THAT(Status, HasSubstr("\r\nother.txt\t9\t"));
    EXPECT_THAT(Names("out/pos"), IsEmpty()); // other.txt counts as done without output
}

TEST_F(ServiceTest, StopDuringAPassLeavesTheRestChanged) {
    Ini(Slot(0, "a") + Slot(1, "b"), false);
    for (int I = 1; I <= 20; ++I) {
        Home.Write(Format("in/a/%02d.txt", I), "x");
    }
    Files("b", {"b.txt"});
    int Count = 0;
    Service.BeforeFile = [&](const std::string&) {
        if (++Count == 10) {
            Host.PostRequest(ServiceControlStop);
        }
    };
    Clock.Set(EncodeDateTime(2008, 3, 25, 17, 0, 0, 0));
    EXPECT_EQ(Host.Run(Service), 0);
    EXPECT_EQ(Names("out/a").size(), 9u);
    EXPECT_THAT(Names("out/b"), IsEmpty());
    EXPECT_THAT(LogFrom("processed"),
                ElementsAre("processed 9 files OK, 0 files bad, elapsed 0:00:00:000",
                            TBaseRorozoraService::CanceledMessage, "Tarno service stopped"));
    // The next start converts the eleven left over.
    Count = 100;
    TFakeServiceHost Next;
    TTestService Again{{Clock, Next, Pipes, nullptr}};
    bool Started = true;
    Again.ServiceStart(Started);
    Again.RunDirectoryPass();
    EXPECT_EQ(Names("out/a").size(), 20u);
    EXPECT_THAT(LogTexts(), Contains("processed 11 files OK, 0 files bad, elapsed 0:00:00:000"));
}

TEST_F(ServiceTest, InterrogateDoesNotCancelThePass) {
    Ini(Slot(0, "a"), false);
    Files("a", {"1.txt", "2.txt", "3.txt"});
    ASSERT_TRUE(Start());
    Service.BeforeFile = [&](const std::string& File) {
        if (File.ends_with("2.txt")) {
            Host.PostRequest(ServiceControlInterrogate);
        }
    };
    const int Reports = Host.Reports;
    Service.RunDirectoryPass();
    EXPECT_EQ(Names("out/a").size(), 3u);
    EXPECT_GT(Host.Reports, Reports);
    EXPECT_THAT(Host.PendingRequests(), ElementsAre(ServiceControlInterrogate));
    // A stop behind the interrogate is still seen.
    Host.PostRequest(ServiceControlStop);
    EXPECT_TRUE(Service.UrgentRequestPending());
}

// Links in a watched directory are skipped, and named in the detailed log; a status file that
// is no regular file is logged and taken as missing.
TEST_F(ServiceTest, LogsSkippedLinksAndUnreadableStatusFiles) {
    for (const bool Detailed : {true, false}) {
        SCOPED_TRACE(Detailed);
        fs::remove_all(Home.Path("in"));
        fs::remove(Home.Path("tarno.log"));
        Ini(Slot(0, "a"), Detailed);
        Files("a", {"a.txt"});
        Home.Write("secret", "root only");
        fs::create_symlink(Home.Path("secret"), Home.Path("in/a/b.txt"));
        fs::create_symlink("/dev/zero", Home.Path("in/a/fclist_none0.dst"));
        ASSERT_TRUE(Start());
        Service.RunDirectoryPass();
        const std::vector<std::string> Log = LogTexts();
        const auto Skipped = testing::Contains(
            testing::EndsWith("): skipped symbolic link " + Home.Path("in/a/b.txt")));
        if (Detailed) {
            EXPECT_THAT(Log, Skipped);
        } else {
            EXPECT_THAT(Log, testing::Not(Skipped));
        }
        EXPECT_THAT(Log, testing::Not(testing::Contains(testing::HasSubstr(
                             "skipped symbolic link " + Home.Path("in/a/fclist_none0.dst")))));
        EXPECT_THAT(Log, testing::Contains(testing::EndsWith(
                             "): Cannot open file \"" + Home.Path("in/a/fclist_none0.dst") +
                             "\". it is a symbolic link; the directory is taken as having no "
                             "status file")));
        EXPECT_FALSE(fs::exists(Home.Path("out/a/b.txt")));
        EXPECT_TRUE(fs::exists(Home.Path("out/a/a.txt")));
        bool Stopped = true;
        Service.ServiceStop(Stopped);
    }
}

TEST_F(ServiceTest, ReprocessingCodeReachesItsSlot) {
    Ini(Slot(0, "a") + Slot(3, "d"), false);
    Files("a", {"a.txt"});
    Files("d", {"d1.txt", "d2.txt"});
    ASSERT_TRUE(Start());
    Service.RunDirectoryPass();
    fs::remove_all(Home.Path("out/d"));
    fs::create_directories(Home.Path("out/d"));

    EXPECT_TRUE(Service.HandleCustomControl(CtrlNoAction + 3));
    EXPECT_FALSE(Service.IsForceRequested());
    EXPECT_TRUE(fs::exists(Home.Path("in/d/fclist_none3.dst")));
    EXPECT_FALSE(Service.HandleCustomControl(CtrlProcessAllFiles + 8)); // a free slot
    EXPECT_EQ(Service.StatusSnapshot().LastErrorText, "Directory does not exist \"\"");

    Host.PostRequest(195);
    Host.ProcessRequests(Service);
    EXPECT_FALSE(fs::exists(Home.Path("in/d/fclist_none3.dst")));
    EXPECT_TRUE(fs::exists(Home.Path("in/a/fclist_none0.dst")));
    EXPECT_TRUE(Service.IsForceRequested());
    EXPECT_TRUE(Service.IsTimeToAct());
    EXPECT_TRUE(Service.StatusSnapshot().Idle);
    Service.RunDirectoryPass();
    const std::vector<std::string> Log = LogTexts();
    EXPECT_THAT(std::vector<std::string>(Log.end() - 2, Log.end()),
                ElementsAre("Force processing of all data files at user request",
                            "processed 2 files OK, 0 files bad, elapsed 0:00:00:000"));
    EXPECT_THAT(Names("out/d"), ElementsAre("d1.txt", "d2.txt"));
}

// At start, and before a directory is first written, the temporaries that a crash of an earlier
// process left there are removed; younger ones may belong to a running writer and stay.
TEST_F(ServiceTest, RemovesTheTemporariesACrashLeftBehind) {
    const TDateTime Old = EncodeDateTime(2008, 3, 25, 16, 0, 0, 0);
    const TDateTime Young = EncodeDateTime(2008, 3, 25, 17, 30, 0, 0);
    Ini(Slot(0, "a") + Slot(1, "later") + Slot(2, "n", "VRKNORMALIZE") + Slot(3, "c", "CEGID"));
    fs::remove(Home.Path("in/later"));
    for (const char* Name : {"in/a/.tarno-aaaaaa", "out/a/.tarno-bbbbbb", ".tarno-cccccc",
                             "in/n/compteursbrut/.tarno-eeeeee", "out/c/index/.tarno-ffffff"}) {
        SetFileTimeUtc(Home.Write(Name, "partial"), Old);
    }
    SetFileTimeUtc(Home.Write("in/a/.tarno-yyyyyy", "being written"), Young);
    ASSERT_TRUE(Start());
    EXPECT_THAT(Names("in/a"), ElementsAre(".tarno-yyyyyy"));
    EXPECT_THAT(Names("out/a"), IsEmpty());
    EXPECT_FALSE(fs::exists(Home.Path(".tarno-cccccc")));
    EXPECT_THAT(Names("in/n/compteursbrut"), IsEmpty());
    EXPECT_THAT(Names("out/c/index"), IsEmpty()); // an export's index

    // A watched directory that appears after the start.
    SetFileTimeUtc(Home.Write("in/later/.tarno-dddddd", "partial"), Old);
    Service.RunDirectoryPass();
    EXPECT_THAT(Names("in/later"), ElementsAre("fclist_none1.dst"));
}

// A chain entry is a structure: a ";" in a watched directory is part of its name.
TEST_F(ServiceTest, WatchedDirectoriesMayHoldSemicolons) {
    Ini(Slot(0, "a;1"));
    fs::create_directories(Home.Path("in/a"));
    Files("a;1", {"x.txt"});
    ASSERT_TRUE(Start());
    Service.RunDirectoryPass();
    EXPECT_THAT(Names("out/a;1"), ElementsAre("x.txt"));
    EXPECT_THAT(Names("in/a;1"), ElementsAre("fclist_none0.dst", "x.txt"));
    EXPECT_THAT(Names("in/a"), IsEmpty());
}

// The root keeps its "/" when the trailing separator is removed.
TEST_F(ServiceTest, TheRootCanBeWatched) {
    Ini(Slot(0, "a"));
    ASSERT_TRUE(Start());
    std::vector<TChainEntry> List;
    Service.ListChainDirectories(0, "/", List);
    EXPECT_THAT(List, ElementsAre(TChainEntry{"/", "*", ""}));
}

TEST_F(ServiceTest, StoreTreesAreListedPerStore) {
    Ini(Slot(2, "croma", "CROMA"));
    for (const char* Dir : {"shop 1/zalmoret", "Unknown/zalmoret", "shop2", "www/zalmoret",
                            "Shop3/ZALMORET", "shop4"}) {
        fs::create_directories(Home.Path(std::string("in/croma/") + Dir));
    }
    // A store or its data directory planted as a link is not entered.
    fs::create_directories(Home.Path("elsewhere/zalmoret"));
    fs::create_directory_symlink(Home.Path("elsewhere/zalmoret"),
                                 Home.Path("in/croma/shop4/zalmoret"));
    fs::create_directory_symlink(Home.Path("elsewhere"), Home.Path("in/croma/shop5"));
    ASSERT_TRUE(Start());
    const std::string D = Home.Path("in/croma");
    std::vector<TChainEntry> List;
    Service.ListChainDirectories(2, D + "/", List);
    EXPECT_THAT(List, UnorderedElementsAre(TChainEntry{D + "/shop 1/zalmoret", "vrk", "SHOP1"},
                                           TChainEntry{D + "/Shop3/ZALMORET", "vrk", "SHOP3"}));

    Home.Write("in/croma/shop 1/zalmoret/fclist_croma2.dst", "");
    EXPECT_TRUE(Service.ForceDirectory(2));
    EXPECT_FALSE(fs::exists(Home.Path("in/croma/shop 1/zalmoret/fclist_croma2.dst")));

    fs::create_directories(Home.Path("in/croma/caf\xc3\xa9/zalmoret"));
    List.clear();
    EXPECT_THROW(Service.ListChainDirectories(2, D, List), ETarnoError);
}

TEST_F(ServiceTest, StartRunsEveryStepAndReportsFailures) {
    Pipes.FailInfo = true;
    Ini(Slot(0, "a"));
    EXPECT_FALSE(Start());
    EXPECT_THAT(Pipes.Calls, ElementsAre("start ZirInfo", "start ZirControl tarno.ini"));
    EXPECT_THAT(LogTexts(),
                ElementsAre("Tarno service started", // LogDetailed is read with the configuration

                            "Configuration loaded from \"tarno.ini\"",
                            "Monitor directory " + Home.Path("in/a") + " -> " + Home.Path("out/a"),
                            "Cannot create pipe ZirInfo"));
    EXPECT_FALSE(Service.StatusSnapshot().Starting);
    bool Stopped = false;
    Service.ServiceStop(Stopped);
    EXPECT_TRUE(Stopped);
    EXPECT_THAT(Pipes.Calls, ElementsAre("start ZirInfo", "start ZirControl tarno.ini",
                                         "stop control", "stop info"));
    EXPECT_THAT(LogFrom("Stopping"), ElementsAre("Stopping service...", "Tarno service stopped"));
}

TEST_F(ServiceTest, StatusFieldsFollowLogAndFiles) {
    ASSERT_TRUE(Start());
    Service.Log(0, "info");
    Service.Log(3, "bad");
    Service.Log(2, "still info");
    TServiceStatus S = Service.StatusSnapshot();
    EXPECT_EQ(S.LastEventText, "still info");
    EXPECT_EQ(S.LastErrorText, "bad");
    EXPECT_EQ(S.LastErrorAt.wYear, 2008);
    EXPECT_EQ(S.LastErrorAt.wHour, 17);
    EXPECT_EQ(S.LastFileOkAt.wYear, 0);

    struct {
        const char* File;
        int Depth;
        const char* Want;
    } Cases[] = {
        {"/data/in/shop1/x.vrk", 2, "in/shop1/x.vrk"},
        {"/data/in/shop1/x.vrk", 0, "x.vrk"},
        {"/data/in/shop1/x.vrk", -1, "/data/in/shop1/x.vrk"},
        {"/x.vrk", 2, "//x.vrk"},
    };
    for (const auto& C : Cases) {
        SCOPED_TRACE(C.File);
        Service.SetLastFile(C.File, true, C.Depth);
        EXPECT_EQ(Service.StatusSnapshot().LastFileOk, C.Want);
    }
    Service.SetLastGroup(4, 1, 1500);
    S = Service.StatusSnapshot();
    EXPECT_EQ(S.LastGroupOk, 4);
    EXPECT_EQ(S.LastGroupBad, 1);
    EXPECT_EQ(S.LastGroupElapsedMs, 1500);
}

TEST(FormatDuration, WritesHoursMinutesSecondsMilliseconds) {
    EXPECT_EQ(FormatDuration(1500 * OneMillisecond), "0:00:01:500");
    EXPECT_EQ(FormatDuration(EncodeTime(13, 4, 5, 6)), "13:04:05:006");
    EXPECT_EQ(FormatDuration(1 + EncodeTime(1, 0, 0, 0)), "1:00:00:000");
}

TEST(CopyToOutDir, CopiesIntoTheOutputDirectory) {
    TTempDir Dir;
    const std::string Source = Dir.Write("in/a.txt", "new");
    SetFileTimeUtc(Source, EncodeDateTime(2008, 3, 25, 13, 5, 9, 0));
    Dir.Write("out/a.txt", "older copy");
    TConvParamsNone Params;
    Params.OutDir = Dir.Path("out");
    EXPECT_TRUE(CopyToOutDir(Source, Params));
    EXPECT_EQ(Dir.Read("out/a.txt"), "new");
    int64_t Size = 0;
    TDateTime Time = 0;
    ASSERT_TRUE(GetFileInfo(Dir.Path("out/a.txt"), Size, Time));
    EXPECT_NEAR(Time, EncodeDateTime(2008, 3, 25, 13, 5, 9, 0), OneMillisecond);

    // A copy that fails says why.
    Params.OutDir = Dir.Path("in/");
    EXPECT_THAT([&] { CopyToOutDir(Source, Params); },
                ThrowsMessage<EOSError>(HasSubstr("onto itself")));
    EXPECT_EQ(Dir.Read("in/a.txt"), "new");
    Params.OutDir = Dir.Path("missing");
    EXPECT_THAT([&] { CopyToOutDir(Source, Params); },
                ThrowsMessage<EOSError>(HasSubstr("No such file or directory")));
}

} // namespace
