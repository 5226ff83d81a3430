// The log of both programs: time-stamped lines appended to a text file, and each line's text
// reported to the event log of the service bound to it. Nothing here raises: a line that cannot
// be written is lost.
#pragma once

#include <string>
#include <string_view>

class TClock;

// The event log of a service (syslog on Linux). Levels 0..2 are information, others errors.
class TEventLog {
public:
    virtual ~TEventLog() = default;
    virtual void Report(int Level, std::string_view Text) noexcept = 0;
};

// Log file path := FileName; bound service := Service (may be null).
void SetLogFile(TEventLog* Service, const std::string& FileName);
// Bound service := none; the path stays.
void ClearLogService();
// The current log file path ("debug.txt" until SetLogFile).
std::string LogFileName();
// Deletes the log file when it is larger than 131072 bytes.
void CheckLogSize();
// Appends Text as one line (every CR LF pair inside becomes one blank), CR LF at the end.
void AppendLogLine(std::string_view Text);
// "dd/mm/yyyy hh:nn:ss", TAB, Text; then Text to the bound service's event log.
void DebugLog(int Level, std::string_view Text);
// The clock whose Now() stamps the lines (null: the system's local time). For tests and main.
void SetLogClock(const TClock* Clock);
