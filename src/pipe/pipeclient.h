// The client of the service's sockets, shared by the console and tarnoctl: one transaction per
// exchange (connect, send one request, receive one answer within the receive time-out, close),
// the statistics poll, and the fetch and upload of the service's configuration through a local
// copy. Nothing here blocks longer than the receive time-out (plus the connect), so a window may
// call it from its timer.
#pragma once

#include <memory>
#include <string>
#include <string_view>

#include "common/errors.h"
#include "pipe/ft_protocol.h"
#include "pipe/srvpipe_protocol.h"

class TMessageTransport;

constexpr int DefaultReceiveTimeoutMs = 2000;

// Texts of the client.
constexpr const char* LengthErrorText = "Length error";
constexpr const char* WrongQuittanceText = "Wrong quittance from Zalmoret Service";

// A failed exchange; the message is the text to show.
class EPipeClientError : public ETarnoError {
public:
    using ETarnoError::ETarnoError;
};

// "cet PC" for this machine, else PcName.
std::string PcDisplayName(const std::string& PcName);
// "reçois la configuration de %s..." and "envoie la configuration à %s..." filled with the
// display name, the progress texts of FetchConfig and SendConfig.
std::string FetchConfigText(const std::string& PcName);
std::string SendConfigText(const std::string& PcName);

struct TStatsResult {
    bool Ok = false;        // LastPipeStats and LastSrvStats hold a new answer
    std::string StatusText; // "" after a good answer or an answer of another name
};

// Not thread-safe: one user at a time (the window's thread, or tarnoctl).
class TPipeClient {
public:
    // Transport is not owned and must outlive the client.
    explicit TPipeClient(TMessageTransport& Transport,
                         int ReceiveTimeoutMs = DefaultReceiveTimeoutMs);

    std::string InfoPipeName = ::InfoPipeName;
    std::string ControlPipeName = ::ControlPipeName;
    // Full path of the local copy of the service's configuration ("tarno_local.ini" in the home).
    std::string LocalConfigFileName;
    // The "TIME:" option of the console: when > 0, SendConfig sets [General] TimeBetweenActions.
    int ForcedTimeBetweenActions = 0;
    int ReceiveTimeoutMs;

    // One exchange on the socket PipeName. Raises EPipeClientError with the transport's text.
    std::string Transact(const std::string& PipeName, std::string_view Request);

    // "REQGETSTATS" on the info socket. Never raises: a failure is reported in StatusText
    // ("Length error" for a short answer) and leaves the last values as they were.
    TStatsResult RequestStats();
    const TPipeStats& LastPipeStats() const { return FLastPipeStats; }
    const TRorozoraSrvStats& LastSrvStats() const { return FLastSrvStats; }

    // "REQGETCONFIG" on the control socket, stored whole into the local copy. Raises
    // EPipeClientError for a failed exchange, a short or empty answer, an answer of another name
    // ("Wrong quittance from Zalmoret Service") or the service's error; the local copy is then
    // left as it was. Raises EOSError when the local copy cannot be written.
    void FetchConfig();
    // Sends the local copy with "REQSETCONFIG". Raises EPipeClientError when the local copy
    // cannot be read or is larger than one message, the exchange fails, the answer is short or
    // not "ANSSETCONFIG", or the service reports that it could not store it.
    void SendConfig();

    // Replaces the local copy with Data atomically. Raises EOSError.
    void StoreLocalConfig(std::string_view Data);
    // The local copy, at most Capacity bytes (more is an error: nothing is cut). Raises
    // EPipeClientError when it cannot be read or is larger.
    std::string LoadLocalConfig(size_t Capacity = MaxConfigSize);

private:
    TMessageTransport& FTransport;
    TPipeStats FLastPipeStats;
    TRorozoraSrvStats FLastSrvStats;
};
