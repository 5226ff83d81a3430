#include "common/debuglog.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <mutex>

#include "common/clock.h"
#include "common/datetime.h"
#include "common/fdio.h"

namespace {
constexpr off_t MaxLogSize = 131072;

// Module-wide state. The path and the bound service are set by the service thread at start and
// stop; the lock serialises the appends of the service thread and the pipe threads.
std::mutex StateLock;
std::string LogPath = "debug.txt";
TEventLog* BoundService = nullptr;
std::atomic<const TClock*> LogClock{nullptr};
std::mutex AppendLock;

std::string CurrentPath() {
    std::lock_guard<std::mutex> Guard(StateLock);
    return LogPath;
}

// Every CR LF pair becomes one blank, so that one call writes exactly one line.
std::string OneLine(std::string_view Text) {
    std::string Line;
    Line.reserve(Text.size() + 2);
    for (std::size_t I = 0; I < Text.size(); ++I) {
        if (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') {
            Line += ' ';
            ++I;
        } else {
            Line += Text[I];
        }
    }
    Line += "\r\n";
    return Line;
}
} // namespace

void SetLogFile(TEventLog* Service, const std::string& FileName) {
    std::lock_guard<std::mutex> Guard(StateLock);
    LogPath = FileName;
    BoundService = Service;
}

void ClearLogService() {
    std::lock_guard<std::mutex> Guard(StateLock);
    BoundService = nullptr;
}

std::string LogFileName() {
    return CurrentPath();
}

void SetLogClock(const TClock* Clock) {
    LogClock.store(Clock);
}

void CheckLogSize() {
    try {
        const std::string Path = CurrentPath();
        struct stat St {};
        if (::stat(Path.c_str(), &St) == 0 && St.st_size > MaxLogSize) {
            ::unlink(Path.c_str());
        }
    } catch (...) {
        // The log never raises.
    }
}

void AppendLogLine(std::string_view Text) {
    try {
        const std::string Path = CurrentPath();
        const std::string Line = OneLine(Text);
        std::lock_guard<std::mutex> Guard(AppendLock);
        AppendBytes(Path, Line); // a line that cannot be written is lost
    } catch (...) {
        // The log never raises.
    }
}

void DebugLog(int Level, std::string_view Text) {
    try {
        const TClock* Clock = LogClock.load();
        const TDateTime Now = Clock ? Clock->Now() : NowLocal();
        std::string Line = FormatDate(Now) + " " + FormatTime(Now) + "\t";
        Line += Text;
        AppendLogLine(Line);
        TEventLog* Service = nullptr;
        {
            std::lock_guard<std::mutex> Guard(StateLock);
            Service = BoundService;
        }
        if (Service) {
            Service->Report(Level, Text);
        }
    } catch (...) {
        // The log never raises.
    }
}
