// The directory-tracking service: its life cycle, the timed main loop, the directory pass over
// the 64 slots, the status fields reported to the console and the service's Log. The conversion
// service (TFcService) derives from it and supplies the chain listing and the per-file work.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "common/datetime.h"
#include "config/ftconfigbase.h"
#include "platform/servicehost.h"
#include "service/dirlist.h"
#include "service/verinfo.h"

class TClock;
class TEventLog;
class TPipeServers;
struct TRorozoraSrvStats;

// One directory of a chain: the directory scanned, the extension of its files, and the store its
// files belong to ("" outside store trees). Held as fields, so a ";" in a directory name is only
// a character of it.
struct TChainEntry {
    std::string Directory;
    std::string FileExt;
    std::string Store;
    friend bool operator==(const TChainEntry&, const TChainEntry&) = default;
};

// The status fields, guarded by the service's StatusLock.
struct TServiceStatus {
    bool Starting = false;
    bool Idle = false;
    int32_t ChainOkCount = 0;
    int32_t ChainBadCount = 0;
    int32_t ChainElapsedMs = 0;
    std::string LastFileOk;
    TSystemTime LastFileOkAt;
    std::string LastFileBad;
    TSystemTime LastFileBadAt;
    int32_t LastGroupOk = 0;
    int32_t LastGroupBad = 0;
    int32_t LastGroupElapsedMs = 0;
    TSystemTime LastGroupAt;
    TSystemTime NextCheckAt;
    TSystemTime LastEventAt;
    TSystemTime LastErrorAt;
    std::string LastEventText;
    std::string LastErrorText;
    std::string LogPrefix;
};

// What the service is handed by main (or a test): time, the framework, the pipe servers and the
// event log it binds to the debug log (null: none). None is owned by the service.
struct TServiceEnvironment {
    TClock& Clock;
    TServiceHost& Host;
    TPipeServers& Pipes;
    TEventLog* EventLog = nullptr;
};

// Runs on the service thread; only Log, StatusSnapshot and the lock may be used by other threads.
class TBaseRorozoraService : public TServiceHandler {
public:
    static constexpr const char* CanceledMessage =
        "Current service task canceled due to urgent control request.";

    explicit TBaseRorozoraService(const TServiceEnvironment& Environment);
    ~TBaseRorozoraService() override;

    std::string ServiceName = "Tarno";
    std::string DisplayName = "Zida Dorivud service";
    std::string InfoPipeName;
    std::string ControlPipeName;
    std::string IniFileName;
    std::string LogFileName;

    // Framework callbacks.
    void ServiceStart(bool& Started) override;
    void ServiceExecute() override;
    void ServiceStop(bool& Stopped) override;
    void ServiceShutdown() override;
    bool HandleCustomControl(int Code) override;

    virtual void LogMonitoredDirectories();
    virtual bool StartTracking();
    virtual bool StopTracking();
    virtual void AfterDirectory() {}
    virtual void PostProcessChain() = 0;
    virtual void GetProcessingOrder(const TChainEntry& Entry, bool& Ascending);
    virtual void BeforeChain() = 0;
    virtual void ListChainDirectories(int Slot, const std::string& Directory,
                                      std::vector<TChainEntry>& List);
    virtual std::string GetStatusFileName(const std::string& BaseName, int Index);
    virtual bool ProcessFile(const std::string& FileName, const TChainEntry& Entry,
                             TFileVisit& Visit);

    // One sweep over the 64 slots; raises only when a request is pending before the first slot.
    void RunDirectoryPass();

    void ScheduleFirstAction();
    void ScheduleNextAction();
    bool IsTimeToAct() const;
    void UpdateNextCheckTime();

    void Log(int Level, const std::string& Text);
    void SetLastFile(const std::string& FileName, bool Ok, int Depth);
    void SetLastGroup(int32_t OkCount, int32_t BadCount, int32_t ElapsedMs);
    void SetIdle(bool Value);
    void RequestForcedPass() { ForceRequested = true; }
    // A stop or other request waits (an interrogate is answered at once and does not count).
    bool UrgentRequestPending();

    // A copy of the status fields, taken under StatusLock (for the statistics pipe).
    TServiceStatus StatusSnapshot() const;
    // The status record of the statistics answer, filled under StatusLock; any thread.
    void FillStatistics(TRorozoraSrvStats& Record) const;

    TBaseFtConfig& GetConfig() const { return *Config; }
    TDateTime GetNextActionTime() const { return NextActionTime; }
    bool IsForceRequested() const { return ForceRequested; }
    int GetCurrentDirIndex() const { return CurrentDirIndex; }
    const TVersionInfo* GetVersionInfo() const { return VersionInfo.get(); }

protected:
    void SetLogPrefix(const std::string& Prefix);
    // The directories the service writes into, as far as the configuration names them: the
    // home and the watched directories (derived services add their output directories).
    virtual std::vector<std::string> WrittenDirectories() const;
    // Removes the temporaries of atomic writes that a crash of an earlier process left in Dir
    // (older than this service's start), the first time after the start that Dir is written
    // and can be read.
    void RemoveLeftTemporariesOnce(const std::string& Dir);

    TClock& Clock;
    TServiceHost& Host;
    TPipeServers& Pipes;
    TEventLog* EventLog;

    std::unique_ptr<TBaseFtConfig> Config;
    int32_t CurrentDirIndex = 0;
    std::vector<TChainEntry> ChainEntries;
    std::vector<std::string> StatusListNames;
    int32_t CurrentStatusIndex = 0;
    TDateTime NextActionTime = 0; // local wall-clock time, also shown as the next check
    // An interval schedule is due at this monotonic time; -1 while exact times schedule.
    int64_t NextActionMonotonicMs = -1;
    std::unique_ptr<TVersionInfo> VersionInfo;
    mutable std::mutex StatusLock;
    bool ForceRequested = false;
    TServiceStatus Status;    // under StatusLock
    TDateTime StartedUtc = 0; // set by ServiceStart
    std::set<std::string> CleanedDirectories;
    // The files listed by the last pass; after a pass of at least LargePassFiles the service
    // hands the memory freed back to the system.
    size_t PassFileCount = 0;
    static constexpr size_t LargePassFiles = 10000;

private:
    void StopService(const char* What);
    void RunChain(int Slot, const std::string& Directory, TDateTime T0);
    void RunStatusList(int Slot, TDateTime T0);
    int32_t MsBetween(TDateTime From, TDateTime To) const;
};
