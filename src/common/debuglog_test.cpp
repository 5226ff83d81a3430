#include "common/debuglog.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "testing/fake_clock.h"
#include "testing/temp_dir.h"

namespace {
class TRecordingEventLog : public TEventLog {
public:
    void Report(int Level, std::string_view Text) noexcept override {
        Events.emplace_back(Level, std::string(Text));
    }
    std::vector<std::pair<int, std::string>> Events;
};

class DebugLogTest : public testing::Test {
protected:
    void SetUp() override {
        SetLogClock(&Clock);
        SetLogFile(nullptr, Dir.Path("tarno.log"));
    }
    void TearDown() override {
        SetLogClock(nullptr);
        SetLogFile(nullptr, "debug.txt");
    }
    TTempDir Dir;
    TFakeClock Clock{EncodeDateTime(2008, 3, 25, 14, 5, 9, 0)};
};
} // namespace

TEST_F(DebugLogTest, WritesDateTimeTabTextAsOneLine) {
    DebugLog(0, "Tarno service started");
    DebugLog(3, "first\r\nsecond\rthird\nfourth");
    EXPECT_EQ(Dir.Read("tarno.log"), "25/03/2008 14:05:09\tTarno service started\r\n"
                                     "25/03/2008 14:05:09\tfirst second\rthird\nfourth\r\n");
}

TEST_F(DebugLogTest, ReportsTheBareTextToTheBoundService) {
    TRecordingEventLog Events;
    SetLogFile(&Events, Dir.Path("tarno.log"));
    DebugLog(2, "info\r\nline");
    DebugLog(3, "error");
    ClearLogService();
    DebugLog(0, "not reported");
    ASSERT_EQ(Events.Events.size(), 2u);
    EXPECT_EQ(Events.Events[0], std::make_pair(2, std::string("info\r\nline")));
    EXPECT_EQ(Events.Events[1], std::make_pair(3, std::string("error")));
    EXPECT_EQ(LogFileName(), Dir.Path("tarno.log"));
}

TEST_F(DebugLogTest, DeletesTheFileOnlyAbove131072Bytes) {
    Dir.Write("tarno.log", std::string(131072, 'x'));
    CheckLogSize();
    EXPECT_EQ(Dir.Read("tarno.log").size(), 131072u);
    AppendLogLine("");
    CheckLogSize();
    EXPECT_EQ(Dir.Read("tarno.log"), "");
    DebugLog(0, "fresh");
    EXPECT_EQ(Dir.Read("tarno.log"), "25/03/2008 14:05:09\tfresh\r\n");
}

TEST_F(DebugLogTest, LosesLinesSilentlyWhenTheFileCannotBeWritten) {
    Dir.Write("plain", "x");
    SetLogFile(nullptr, Dir.Path("plain/tarno.log"));
    EXPECT_NO_THROW(DebugLog(3, "lost"));
    EXPECT_NO_THROW(CheckLogSize());
    EXPECT_EQ(Dir.Read("plain"), "x");
}
