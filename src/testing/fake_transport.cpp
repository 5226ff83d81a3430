#include "testing/fake_transport.h"

namespace {

class TFakeConnection : public TMessageConnection {
public:
    TFakeConnection(TFakeTransport& Owner, std::string PipeName)
        : FOwner(Owner), FPipeName(std::move(PipeName)) {}

    void Send(std::string_view Message, int) override {
        if (Message.size() > MaxMessageSize) {
            throw ETransportError("Message too long");
        }
        FOwner.Requests.push_back({FPipeName, std::string(Message)});
        FPending = true;
    }

    std::string Receive(int TimeoutMs) override {
        FOwner.LastTimeoutMs = TimeoutMs;
        if (!FPending || FOwner.Silent || !FOwner.OnRequest) {
            throw ETransportError("Timeout waiting for the service");
        }
        FPending = false;
        return FOwner.OnRequest(FPipeName, FOwner.Requests.back().Bytes);
    }

private:
    TFakeTransport& FOwner;
    std::string FPipeName;
    bool FPending = false;
};

} // namespace

std::unique_ptr<TMessageConnection> TFakeTransport::Connect(const std::string& PipeName, int) {
    if (!ConnectError.empty()) {
        throw ETransportError(ConnectError);
    }
    return std::make_unique<TFakeConnection>(*this, PipeName);
}
