#include "service/ftsrvbase.h"

#include <cmath>
#include <exception>
#include <limits>

#include "common/clock.h"
#include "common/debuglog.h"
#include "common/errors.h"
#include "common/home.h"
#include "common/text.h"
#include "common/utils.h"
#include "pipe/ft_protocol.h"
#include "platform/dirsync.h"
#include "platform/files.h"
#include "platform/memory.h"
#include "service/pipeservers.h"

namespace {

// The last part of a path ("" for none) and the path before it.
std::string SplitLast(std::string& Path) {
    const size_t Slash = Path.find_last_of('/');
    if (Slash == std::string::npos) {
        std::string Last = std::move(Path);
        Path.clear();
        return Last;
    }
    std::string Last = Path.substr(Slash + 1);
    Path.erase(Slash);
    return Last;
}

} // namespace

TBaseRorozoraService::TBaseRorozoraService(const TServiceEnvironment& Environment)
    : Clock(Environment.Clock), Host(Environment.Host), Pipes(Environment.Pipes),
      EventLog(Environment.EventLog), Config(std::make_unique<TBaseFtConfig>()) {}

TBaseRorozoraService::~TBaseRorozoraService() = default;

void TBaseRorozoraService::ServiceStart(bool& Started) {
    StartedUtc = Clock.NowUtc();
    SetLogFile(EventLog, CombinePath(ExeDir(), LogFileName));
    CheckLogSize();
    Log(0, ServiceName + " service started");
    Started = StartTracking();
}

void TBaseRorozoraService::ServiceExecute() {
    ScheduleFirstAction();
    UpdateNextCheckTime();
    while (!Host.Terminated()) {
        if (IsTimeToAct()) {
            ForceRequested = false;
            try {
                RunDirectoryPass();
            } catch (const std::exception& E) {
                Log(3, E.what());
            }
            // The lists of a large pass are gone: their memory goes back to the system while
            // the service waits for the next pass.
            if (PassFileCount >= LargePassFiles) {
                ReleaseFreeMemory();
            }
            ScheduleNextAction();
            UpdateNextCheckTime();
        } else {
            Clock.Sleep(100);
        }
        Host.ProcessRequests(*this);
    }
}

void TBaseRorozoraService::StopService(const char* What) {
    StopTracking();
    Log(0, ServiceName + " " + What);
    ClearLogService();
}

void TBaseRorozoraService::ServiceStop(bool& Stopped) {
    StopService("service stopped");
    Stopped = true;
}

void TBaseRorozoraService::ServiceShutdown() {
    StopService("stopped at system shutdown");
}

bool TBaseRorozoraService::HandleCustomControl(int) {
    return true;
}

void TBaseRorozoraService::LogMonitoredDirectories() {
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        if (!Config->GetDirectory(Slot).empty()) {
            Log(0, "Monitor directory " + Config->GetDirectory(Slot));
        }
    }
}

bool TBaseRorozoraService::StartTracking() {
    try {
        {
            const std::lock_guard<std::mutex> Guard(StatusLock);
            Status.Starting = true;
            Status.Idle = false;
            Status.ChainOkCount = Status.ChainBadCount = Status.ChainElapsedMs = 0;
            Status.LastFileOk.clear();
            Status.LastFileBad.clear();
            Status.LastEventText.clear();
            Status.LastErrorText.clear();
            Status.LastFileOkAt = Status.LastFileBadAt = {};
            Status.LastEventAt = Status.LastErrorAt = {};
        }
        ForceRequested = false;
        if (Config->LogDetailed) {
            Log(0, "Starting service...");
        }
        VersionInfo = std::make_unique<TVersionInfo>();
    } catch (const std::exception& E) {
        Log(3, E.what());
        return false;
    }

    bool Result = true;
    const auto Step = [&](const auto& Body) {
        try {
            Body();
        } catch (const std::exception& E) {
            Log(3, E.what());
            Result = false;
        }
    };
    Step([&] {
        ChainEntries.clear();
        StatusListNames = {"dirlist.dst"};
        CurrentStatusIndex = 0;
    });
    Step([&] {
        Config->LoadFromFile(CombinePath(ExeDir(), IniFileName));
        if (Config->LogDetailed) {
            Log(0, Format("Configuration loaded from \"%s\"", IniFileName.c_str()));
        }
        LogMonitoredDirectories();
    });
    Step([&] {
        CleanedDirectories.clear();
        for (const std::string& Dir : WrittenDirectories()) {
            RemoveLeftTemporariesOnce(Dir);
        }
    });
    Step([&] { Pipes.StartInfoServer(InfoPipeName); });
    Step([&] { Pipes.StartControlServer(ControlPipeName, IniFileName); });

    const std::lock_guard<std::mutex> Guard(StatusLock);
    Status.Starting = false;
    Status.Idle = true;
    Status.ChainOkCount = Status.ChainBadCount = Status.ChainElapsedMs = 0;
    return Result;
}

bool TBaseRorozoraService::StopTracking() {
    if (Config->LogDetailed) {
        Log(0, "Stopping service...");
    }
    try {
        Pipes.StopControlServer();
        Pipes.StopInfoServer();
        StatusListNames.clear();
        ChainEntries.clear();
        VersionInfo.reset();
    } catch (const std::exception& E) {
        Log(3, E.what());
    }
    return true;
}

std::vector<std::string> TBaseRorozoraService::WrittenDirectories() const {
    std::vector<std::string> Dirs = {ExeDir()};
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        if (!Config->GetDirectory(Slot).empty()) {
            Dirs.push_back(Config->GetDirectory(Slot));
        }
    }
    return Dirs;
}

void TBaseRorozoraService::RemoveLeftTemporariesOnce(const std::string& Dir) {
    if (Dir.empty() || !CleanedDirectories.insert(Dir).second) {
        return;
    }
    const int Removed = RemoveLeftTemporaries(Dir, StartedUtc);
    if (Removed < 0) {
        CleanedDirectories.erase(Dir); // not there yet: cleaned once it can be read
    } else if (Removed > 0) {
        Log(0, Format("removed %d temporary files left by an interrupted write in %s", Removed,
                      Dir.c_str()));
    }
}

void TBaseRorozoraService::GetProcessingOrder(const TChainEntry&, bool& Ascending) {
    Ascending = false;
}

void TBaseRorozoraService::ListChainDirectories(int, const std::string& Directory,
                                                std::vector<TChainEntry>& List) {
    List.push_back({Directory, "*", ""});
}

std::string TBaseRorozoraService::GetStatusFileName(const std::string& BaseName, int) {
    return BaseName;
}

bool TBaseRorozoraService::ProcessFile(const std::string&, const TChainEntry&, TFileVisit&) {
    return true;
}

void TBaseRorozoraService::RunDirectoryPass() {
    const TDateTime T0 = Clock.Now();
    PassFileCount = 0;
    {
        const std::lock_guard<std::mutex> Guard(StatusLock);
        if (Status.Starting) {
            return;
        }
    }
    if (UrgentRequestPending()) {
        throw ETarnoError(CanceledMessage);
    }
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        CurrentDirIndex = Slot;
        const std::string Directory = Config->GetDirectory(Slot);
        if (Directory.empty()) {
            continue;
        }
        try {
            if (Config->LogDetailed) {
                Log(0, "Processing chain " + Directory);
            }
            RunChain(Slot, Directory, T0);
        } catch (const std::exception& E) {
            Log(3, E.what());
        }
    }
    CheckLogSize();
}

void TBaseRorozoraService::RunChain(int Slot, const std::string& Directory, TDateTime T0) {
    {
        const std::lock_guard<std::mutex> Guard(StatusLock);
        Status.Idle = false;
        Status.ChainOkCount = Status.ChainBadCount = Status.ChainElapsedMs = 0;
    }
    int32_t Ok = 0, Bad = 0, Elapsed = 0;
    const auto CleanUp = [&] {
        {
            const std::lock_guard<std::mutex> Guard(StatusLock);
            Status.Idle = true;
            Status.ChainElapsedMs = MsBetween(T0, Clock.Now());
            Ok = Status.ChainOkCount;
            Bad = Status.ChainBadCount;
            Elapsed = Status.ChainElapsedMs;
        }
        SetLogPrefix("");
    };
    try {
        ChainEntries.clear();
        ListChainDirectories(Slot, Directory, ChainEntries);
        for (size_t J = 0; J < StatusListNames.size(); ++J) {
            CurrentStatusIndex = static_cast<int32_t>(J);
            if (UrgentRequestPending()) {
                throw ETarnoError(CanceledMessage);
            }
            try {
                RunStatusList(Slot, T0);
            } catch (const std::exception& E) {
                Log(3, E.what());
                if (UrgentRequestPending()) {
                    break;
                }
            }
        }
    } catch (...) {
        CleanUp();
        throw;
    }
    CleanUp();
    if (Ok != 0 || Bad != 0) {
        Log(0, Format("processed %d files OK, %d files bad, elapsed ", Ok, Bad) +
                   FormatDuration(Elapsed / MSecsPerDay));
        SetLastGroup(Ok, Bad, Elapsed);
    }
}

void TBaseRorozoraService::RunStatusList(int, TDateTime T0) {
    const auto PostProcess = [&] {
        const TDateTime T2 = Clock.Now();
        PostProcessChain();
        int32_t ChainOk = 0;
        {
            const std::lock_guard<std::mutex> Guard(StatusLock);
            ChainOk = Status.ChainOkCount;
        }
        if (ChainOk > 0 && Config->LogDetailed) {
            Log(0, Format("postprocessing after %d source files finished, elapsed ", ChainOk) +
                       FormatDuration(Clock.Now() - T2));
        }
    };
    try {
        BeforeChain();
        for (const TChainEntry& Entry : ChainEntries) {
            if (UrgentRequestPending()) {
                throw ETarnoError(CanceledMessage);
            }
            const std::string& Dir = Entry.Directory;
            const std::string Ext = Entry.FileExt.empty() ? std::string("*") : Entry.FileExt;
            const TProcessFileCallback Callback = [this, &Entry](const std::string& FileName,
                                                                 TFileVisit& Visit) {
                return ProcessFile(FileName, Entry, Visit);
            };
            const std::string StatusName =
                GetStatusFileName(StatusListNames[static_cast<size_t>(CurrentStatusIndex)], -1);
            const TDateTime TD = Clock.Now();
            try {
                RemoveLeftTemporariesOnce(Dir);
                TDirectoryList List(Dir, Ext, StatusName, Clock, StandardBiasMinutes());
                PassFileCount += List.Files().size();
                if (!List.StatusFileProblem().empty()) {
                    Log(2, List.StatusFileProblem() + "; the directory is taken as having no "
                                                      "status file");
                }
                if (Config->LogDetailed) {
                    for (const std::string& Link : List.SkippedLinks()) {
                        Log(0, "skipped symbolic link " + CombinePath(Dir, Link));
                    }
                }
                bool Ascending = false;
                GetProcessingOrder(Entry, Ascending);
                bool Synced = true;
                {
                    // The outputs' directories are synced once for the whole list, after their
                    // last rename and before the status file that records them is saved. Each
                    // output was fsynced before its rename, so a crash or power loss leaves every
                    // file old or new; a rename not yet synced may be lost, but then the status
                    // file, saved only after the sync, still holds the old records and the files
                    // are converted again. Within the list, a file that records others (an index,
                    // a durable append) first syncs what came before it, and a raw copy is synced
                    // before the input it keeps is replaced.
                    TDeferredDirectorySyncs Syncs;
                    List.Process(Ascending, Callback);
                    try {
                        Syncs.Sync();
                    } catch (const std::exception& E) {
                        // Outputs that may not be on disk are not recorded: the status file
                        // keeps its old records and the files are converted again.
                        Log(3, E.what());
                        Synced = false;
                    }
                }
                if (Synced) {
                    List.Save();
                }
                int32_t Ok = 0, Bad = 0, Elapsed = 0;
                {
                    const std::lock_guard<std::mutex> Guard(StatusLock);
                    Status.ChainOkCount += List.OkCount();
                    Status.ChainBadCount += List.BadCount();
                    Status.ChainElapsedMs = MsBetween(T0, Clock.Now());
                    Ok = Status.ChainOkCount;
                    Bad = Status.ChainBadCount;
                    Elapsed = Status.ChainElapsedMs;
                }
                if (Config->LogDetailed && (List.OkCount() != 0 || List.BadCount() != 0)) {
                    Log(0, Format("processed directory %s, elasped ", Dir.c_str()) +
                               FormatDuration(Clock.Now() - TD));
                }
                if (Ok != 0 || Bad != 0) {
                    SetLastGroup(Ok, Bad, Elapsed);
                }
            } catch (...) {
                AfterDirectory();
                throw;
            }
            AfterDirectory();
            if (Host.Terminated()) {
                break;
            }
        }
    } catch (...) {
        PostProcess();
        throw;
    }
    PostProcess();
}

void TBaseRorozoraService::ScheduleFirstAction() {
    const TDateTime Now = Clock.Now();
    const TDateTime Soon = Now + 5 * OneSecond;
    NextActionTime = Soon;
    NextActionMonotonicMs = Clock.MonotonicMs() + 5000;
    if (Config->ExactTimeMode) {
        const TDateTime Nearest = DateOf(Now) + Config->ExactTime.Nearest(Now);
        if (Nearest > Soon) {
            NextActionTime = Nearest;
            NextActionMonotonicMs = -1;
        }
    }
}

void TBaseRorozoraService::ScheduleNextAction() {
    const TDateTime Now = Clock.Now();
    if (Config->ExactTimeMode && Config->ExactTime.Count() > 0) {
        const TDateTime Next = Config->ExactTime.NextAfter(Now);
        NextActionTime =
            Next >= 0 ? DateOf(Now) + Next : DateOf(Now) + 1 + Config->ExactTime.Nearest(0);
        NextActionMonotonicMs = -1;
        return;
    }
    // An interval below one second would run the passes back to back without a pause.
    const int Seconds = Config->TimeBetweenActions < 1 ? 1 : Config->TimeBetweenActions;
    NextActionTime = Now + Seconds / SecsPerDay;
    NextActionMonotonicMs = Clock.MonotonicMs() + int64_t{Seconds} * 1000;
}

bool TBaseRorozoraService::IsTimeToAct() const {
    if (ForceRequested) {
        return true;
    }
    // Intervals are counted on the monotonic clock: a clock set back an hour must not hold the
    // passes back for that hour. Exact times are times of the local wall clock.
    if (NextActionMonotonicMs >= 0) {
        return Clock.MonotonicMs() > NextActionMonotonicMs;
    }
    return Clock.Now() > NextActionTime;
}

void TBaseRorozoraService::UpdateNextCheckTime() {
    const std::lock_guard<std::mutex> Guard(StatusLock);
    Status.NextCheckAt = DateTimeToSystemTime(NextActionTime);
}

void TBaseRorozoraService::Log(int Level, const std::string& Text) {
    const TSystemTime Now = DateTimeToSystemTime(Clock.Now());
    std::string Message;
    {
        const std::lock_guard<std::mutex> Guard(StatusLock);
        Message = Status.LogPrefix + Text;
        if (Level > 2) {
            Status.LastErrorAt = Now;
            Status.LastErrorText = Message;
        } else {
            Status.LastEventAt = Now;
            Status.LastEventText = Message;
        }
    }
    DebugLog(Level, Message);
}

void TBaseRorozoraService::SetLastFile(const std::string& FileName, bool Ok, int Depth) {
    std::string Short = FileName;
    if (Depth >= 0) {
        std::string Rest = FileName;
        Short = SplitLast(Rest);
        for (int I = 0; I < Depth; ++I) {
            Short = SplitLast(Rest) + "/" + Short;
        }
    }
    const TSystemTime Now = DateTimeToSystemTime(Clock.Now());
    const std::lock_guard<std::mutex> Guard(StatusLock);
    if (Ok) {
        Status.LastFileOk = Short;
        Status.LastFileOkAt = Now;
    } else {
        Status.LastFileBad = Short;
        Status.LastFileBadAt = Now;
    }
}

void TBaseRorozoraService::SetLastGroup(int32_t OkCount, int32_t BadCount, int32_t ElapsedMs) {
    const TSystemTime Now = DateTimeToSystemTime(Clock.Now());
    const std::lock_guard<std::mutex> Guard(StatusLock);
    Status.LastGroupOk = OkCount;
    Status.LastGroupBad = BadCount;
    Status.LastGroupElapsedMs = ElapsedMs;
    Status.LastGroupAt = Now;
}

void TBaseRorozoraService::SetIdle(bool Value) {
    const std::lock_guard<std::mutex> Guard(StatusLock);
    Status.Idle = Value;
}

void TBaseRorozoraService::SetLogPrefix(const std::string& Prefix) {
    const std::lock_guard<std::mutex> Guard(StatusLock);
    Status.LogPrefix = Prefix;
}

bool TBaseRorozoraService::UrgentRequestPending() {
    if (Host.Terminated()) {
        return true;
    }
    bool Interrogate = false;
    for (const int Code : Host.PendingRequests()) {
        if (Code != ServiceControlInterrogate) {
            return true;
        }
        Interrogate = true;
    }
    if (Interrogate) {
        Host.ReportStatus();
    }
    return false;
}

TServiceStatus TBaseRorozoraService::StatusSnapshot() const {
    const std::lock_guard<std::mutex> Guard(StatusLock);
    return Status;
}

void TBaseRorozoraService::FillStatistics(TRorozoraSrvStats& Record) const {
    const std::lock_guard<std::mutex> Guard(StatusLock);
    Record.RecordSize = SrvStatsSize;
    if (VersionInfo) {
        Record.VersionMajor = VersionInfo->Major;
        Record.VersionMinor = VersionInfo->Minor;
        Record.VersionRelease = VersionInfo->Release;
    }
    Record.Busy = !Status.Idle;
    Record.LastEventAt = Status.LastEventAt;
    Record.LastErrorAt = Status.LastErrorAt;
    CopyStatusText(Record.LastEventText, Status.LastEventText);
    CopyStatusText(Record.LastErrorText, Status.LastErrorText);
    CopyStatusText(Record.LastFileOk, Status.LastFileOk);
    Record.LastFileOkAt = Status.LastFileOkAt;
    CopyStatusText(Record.LastFileBad, Status.LastFileBad);
    Record.LastFileBadAt = Status.LastFileBadAt;
    Record.LastGroupOk = Status.LastGroupOk;
    Record.LastGroupBad = Status.LastGroupBad;
    Record.LastGroupElapsedMs = Status.LastGroupElapsedMs;
    Record.LastGroupAt = Status.LastGroupAt;
    Record.NextCheckAt = Status.NextCheckAt;
}

int32_t TBaseRorozoraService::MsBetween(TDateTime From, TDateTime To) const {
    const long long Ms = std::llround((To - From) * MSecsPerDay);
    if (Ms > std::numeric_limits<int32_t>::max()) {
        return std::numeric_limits<int32_t>::max();
    }
    return Ms < 0 ? 0 : static_cast<int32_t>(Ms);
}
