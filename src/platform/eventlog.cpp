#include "platform/eventlog.h"

#include <syslog.h>

TSyslogEventLog::TSyslogEventLog(std::string ServiceName) : FIdent(std::move(ServiceName)) {
    ::openlog(FIdent.c_str(), LOG_PID, LOG_DAEMON);
}

TSyslogEventLog::~TSyslogEventLog() {
    ::closelog();
}

void TSyslogEventLog::Report(int Level, std::string_view Text) noexcept {
    const int Priority = (Level >= 0 && Level <= 2) ? LOG_INFO : LOG_ERR;
    try {
        const std::string Copy(Text);
        ::syslog(Priority, "%s", Copy.c_str());
    } catch (...) {
        // An event that cannot be reported is dropped.
    }
}
