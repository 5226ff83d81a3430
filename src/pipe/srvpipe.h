// A message server on an AF_UNIX SOCK_SEQPACKET socket: one thread serves up to InstanceCount
// clients at once with a single poll over every socket. For each client it reads one request,
// lets HandleRequest build the answer, sends it, and reads the next request of the same client.
// Optionally it also serves the same requests over TCP, each message preceded by its length as
// 4 bytes little-endian.
//
// A client is disconnected when its request is longer than PipeBufferSize, when it closes, when
// its answer cannot be sent at once in full (it stopped reading), or when it holds its instance
// for IdleTimeoutMs without sending a complete request (looked for once a second). A client that
// finds every instance busy is closed at once. Nothing of this ends the server; only Stop does.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "pipe/srvpipe_protocol.h"

class TClock;

constexpr int IdleTimeoutMs = 10000;

class TPipeServer {
public:
    // Path: the socket file; Mode: its permission bits. InstanceCount is cut to 1..64. Clock
    // gives StartTime and the idle time; it must outlive the server.
    TPipeServer(std::string Path, int InstanceCount, mode_t Mode, TClock& Clock);
    virtual ~TPipeServer();
    TPipeServer(const TPipeServer&) = delete;
    TPipeServer& operator=(const TPipeServer&) = delete;

    // Also serve framed requests on this listening TCP socket (taken over; closed by the server).
    // Call before Start.
    void AddTcpListener(int Fd);

    // Creates the socket and starts the thread. A socket file left by a server that no longer
    // runs is replaced; a live one is left alone. Raises EOSError "Failed to create pipe
    // instance: <message>" when the socket cannot be created.
    void Start();
    // Asks the thread to end; from any thread, any number of times. Does not wait.
    void Stop();
    // Stop, then wait for the thread; the sockets are closed and the socket file removed (when it
    // is still this server's). Derived classes call it first in their destructor.
    void Shutdown();

    // Makes the thread look at idle clients now (the clock may have been moved).
    void CheckIdle();

    TPipeStats GetStats() const;
    const std::string& Path() const { return FPath; }
    int InstanceCount() const { return FInstanceCount; }

protected:
    // Called on the server thread for every request. The base leaves SendAck true, which answers
    // "ACK <n> bytes hh:nn:ss".
    virtual void HandleRequest(const char* Request, uint32_t RequestLength, char* Answer,
                               uint32_t Capacity, uint32_t& AnswerLength, bool& SendAck);

    TClock& Clock;

private:
    struct TInstance;
    void Execute();
    void Accept(int Listener, bool Framed);
    void Serve(TInstance& Instance);
    bool Answer(TInstance& Instance, const char* Request, uint32_t Length);
    void Disconnect(TInstance& Instance);
    void DisconnectIdle();
    void BuildAnswer(TInstance& Instance, const char* Request, uint32_t Length);

    std::string FPath;
    int FInstanceCount;
    mode_t FMode;
    int FListener = -1;
    int FTcpListener = -1;
    int FWakeRead = -1;
    int FWakeWrite = -1;
    int FIdleTimer = -1;
    dev_t FSocketDev = 0;
    ino_t FSocketIno = 0;
    std::vector<TInstance> FInstances;
    std::atomic<bool> FTerminated{false};
    std::thread FThread;
    mutable std::mutex FStatsLock;
    TPipeStats FStats;
};

// Opens a TCP socket listening on "ADDRESS:PORT" (IPv4 dotted or "[v6]"; "*" or "" for every
// address). Raises ETarnoError "Invalid listen address" or EOSError.
int ListenTcp(const std::string& AddressPort);
