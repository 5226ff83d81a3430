// A message transport for tests: every request is answered by a function the test sets, and the
// test can make the connect fail or the service stay silent.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/transport.h"

class TFakeTransport : public TMessageTransport {
public:
    struct TRequest {
        std::string PipeName;
        std::string Bytes;
    };

    // Answers the request sent to PipeName. May raise ETransportError to fail the receive.
    std::function<std::string(const std::string& PipeName, std::string_view Request)> OnRequest;
    // When not empty, Connect raises ETransportError with this text.
    std::string ConnectError;
    // When set, Receive raises the time-out error instead of answering.
    bool Silent = false;

    std::vector<TRequest> Requests; // every request sent, in order
    int LastTimeoutMs = -1;         // time-out of the last Receive

    std::unique_ptr<TMessageConnection> Connect(const std::string& PipeName,
                                                int TimeoutMs) override;
};
