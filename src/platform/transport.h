// Message transports of the control channel: a connection that carries whole messages of at most
// MaxMessageSize bytes to one of the service's sockets ("ZirInfo", "ZirControl") and back. On
// this machine the sockets are AF_UNIX SOCK_SEQPACKET sockets in the run directory; another
// machine is reached through a bridge process ("ssh -T HOST tarnoctl bridge") that carries each
// message over its stdin and stdout preceded by its length as 4 bytes little-endian.
//
// No call waits longer than the time-out it is given: a busy or silent service is an error after
// that time, never a hang. Every error is an ETransportError carrying the text to show.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/errors.h"

// Largest message either side sends or accepts.
constexpr size_t MaxMessageSize = 16384;
// Bytes of the length prefix of a framed message (bridge and TCP).
constexpr size_t FrameHeaderSize = 4;

class ETransportError : public ETarnoError {
public:
    using ETarnoError::ETarnoError;
};

// One open connection to a socket of the service. Owned by its user; closing is destruction.
class TMessageConnection {
public:
    virtual ~TMessageConnection() = default;
    // Sends one whole message (at most MaxMessageSize bytes); waits at most TimeoutMs for room.
    virtual void Send(std::string_view Message, int TimeoutMs) = 0;
    // Receives one whole message, waiting at most TimeoutMs. Raises when the time runs out
    // ("Timeout waiting for the service"), when the service closed the connection, or when the
    // answer does not fit MaxMessageSize.
    virtual std::string Receive(int TimeoutMs) = 0;
};

// Opens connections to the service's sockets by their name.
class TMessageTransport {
public:
    virtual ~TMessageTransport() = default;
    // Connects to the socket PipeName ("ZirInfo" or "ZirControl") without waiting for a free
    // instance. Raises with the system's text when nothing listens there.
    virtual std::unique_ptr<TMessageConnection> Connect(const std::string& PipeName,
                                                        int TimeoutMs) = 0;
};

// The sockets of the service on this machine, in RunDir.
class TUnixTransport : public TMessageTransport {
public:
    explicit TUnixTransport(std::string RunDir) : FRunDir(std::move(RunDir)) {}
    std::unique_ptr<TMessageConnection> Connect(const std::string& PipeName,
                                                int TimeoutMs) override;
    const std::string& RunDir() const { return FRunDir; }

private:
    std::string FRunDir;
};

// The sockets of another machine through a bridge process started with Argv (stdin and stdout
// carry framed messages, stderr is kept for the error text). The process is started at the first
// Connect and kept for the following ones; it is ended when the transport is destroyed. The
// bridge sends each request to the socket its name belongs to: "REQGETCONFIG" and
// "REQSETCONFIG" to "ZirControl", every other one to "ZirInfo". One request is outstanding at a
// time; an answer that comes after its time-out is read and dropped before the next one.
class TBridgeTransport : public TMessageTransport {
public:
    explicit TBridgeTransport(std::vector<std::string> Argv);
    ~TBridgeTransport() override;
    TBridgeTransport(const TBridgeTransport&) = delete;
    TBridgeTransport& operator=(const TBridgeTransport&) = delete;

    std::unique_ptr<TMessageConnection> Connect(const std::string& PipeName,
                                                int TimeoutMs) override;

private:
    struct TState;
    friend class TBridgeConnection;
    std::shared_ptr<TState> FState;
};

// "ssh -T HOST tarnoctl bridge" as an argument vector (BatchMode, so that a password prompt never
// waits on a window).
std::vector<std::string> SshBridgeCommand(const std::string& Host);

// The transport to the service of Host ("" for this machine: its sockets in RunDir).
std::unique_ptr<TMessageTransport> OpenMessageTransport(const std::string& Host,
                                                        const std::string& RunDir);

// Frames: Message preceded by its length as 4 bytes little-endian.
std::string FrameMessage(std::string_view Message);
// The length in the first FrameHeaderSize bytes of Header.
uint32_t FrameLength(const char* Header);
// The error answer of a bridge that could not reach the socket: the length prefix has its top bit
// set and the text follows. Never sent by the TCP statistics listener.
constexpr uint32_t FrameErrorFlag = 0x80000000u;
std::string FrameError(std::string_view Text);
