// For tests: a server that answers each request with its own bytes, each only once the test lets
// it through, so that a test decides when an answer goes out.
#pragma once

#include <condition_variable>
#include <cstring>
#include <mutex>

#include "pipe/srvpipe.h"

class TGatedEchoServer : public TPipeServer {
public:
    using TPipeServer::TPipeServer;
    ~TGatedEchoServer() override {
        Release(1000000);
        Shutdown();
    }
    // Lets Count more answers go out.
    void Release(int Count) {
        const std::lock_guard<std::mutex> Guard(FLock);
        FAllowed += Count;
        FChanged.notify_all();
    }
    // Waits until Count requests in all have reached the handler.
    void AwaitRequests(int Count) {
        std::unique_lock<std::mutex> Guard(FLock);
        FChanged.wait(Guard, [&] { return FEntered >= Count; });
    }

protected:
    void HandleRequest(const char* Request, uint32_t Length, char* Answer, uint32_t,
                       uint32_t& AnswerLength, bool& SendAck) override {
        std::unique_lock<std::mutex> Guard(FLock);
        ++FEntered;
        FChanged.notify_all();
        FChanged.wait(Guard, [this] { return FAllowed > 0; });
        --FAllowed;
        SendAck = false;
        std::memcpy(Answer, Request, Length);
        AnswerLength = Length;
    }

private:
    std::mutex FLock;
    std::condition_variable FChanged;
    int FAllowed = 0;
    int FEntered = 0;
};
