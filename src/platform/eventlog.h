// The event log of the service on Linux: syslog(3) with the service name as ident.
#pragma once

#include <string>

#include "common/debuglog.h"

class TSyslogEventLog : public TEventLog {
public:
    explicit TSyslogEventLog(std::string ServiceName);
    ~TSyslogEventLog() override;
    TSyslogEventLog(const TSyslogEventLog&) = delete;
    TSyslogEventLog& operator=(const TSyslogEventLog&) = delete;

    // LOG_INFO for levels 0..2, LOG_ERR otherwise.
    void Report(int Level, std::string_view Text) noexcept override;

private:
    std::string FIdent; // openlog keeps the pointer, so the text lives as long as this object
};
