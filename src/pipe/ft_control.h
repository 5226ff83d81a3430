// The two servers of the service: the info server answers "REQGETSTATS" with its own counters and
// the service's status record; the control server hands out the service's configuration file
// ("REQGETCONFIG") and replaces it ("REQSETCONFIG"). Anything else, or a request shorter than the
// header, is answered "ANSREQUNKNOWN". The events are set before Start and run on the server's
// thread.
#pragma once

#include <functional>
#include <string>

#include "pipe/ft_protocol.h"
#include "pipe/srvpipe.h"

// Permission bits of the sockets: the statistics are for every local user; the configuration
// (of a service that may run as root) only for the service's user and group.
constexpr mode_t InfoSocketMode = 0666;
constexpr mode_t ControlSocketMode = 0660;

class TRorozoraSrvInfo final : public TPipeServer {
public:
    TRorozoraSrvInfo(const std::string& Path, int InstanceCount, TClock& Clock);
    ~TRorozoraSrvInfo() override;

    // Fills the 511 bytes of the status record (zero when unset).
    std::function<void(char* Record)> OnFillStatistics;
    // Answers any other request when set and answering true.
    std::function<bool(const char* Request, uint32_t RequestLength, uint32_t& AnswerLength,
                       uint32_t Capacity, char* Answer)>
        OnRequest;

protected:
    void HandleRequest(const char* Request, uint32_t RequestLength, char* Answer, uint32_t Capacity,
                       uint32_t& AnswerLength, bool& SendAck) override;
};

// Errors of "ANSGETCONFIG" and "ANSSETCONFIG".
constexpr int32_t ConfigErrorLength = 1;     // announced more data than sent, or negative
constexpr int32_t ConfigErrorUnreadable = 1; // the file cannot be read or exceeds one message
constexpr int32_t ConfigErrorWrite = 2;      // the file could not be replaced

class TRorozoraSrvControl final : public TPipeServer {
public:
    // ConfigFileName: the full path of the file served.
    TRorozoraSrvControl(const std::string& Path, std::string ConfigFileName, int InstanceCount,
                        TClock& Clock);
    ~TRorozoraSrvControl() override;

    const std::string ConfigFileName;
    std::function<void()> OnConfigUpdated;   // after the file was replaced
    std::function<void()> OnConfigRetrieved; // after the file was read for a client

protected:
    void HandleRequest(const char* Request, uint32_t RequestLength, char* Answer, uint32_t Capacity,
                       uint32_t& AnswerLength, bool& SendAck) override;
};
