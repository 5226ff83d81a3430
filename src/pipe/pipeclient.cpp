#include "pipe/pipeclient.h"

#include "common/ini.h"
#include "common/text.h"
#include "platform/files.h"
#include "platform/transport.h"

std::string PcDisplayName(const std::string& PcName) {
    return PcName.empty() ? "cet PC" : PcName;
}

std::string FetchConfigText(const std::string& PcName) {
    return Format("reçois la configuration de %s...", PcDisplayName(PcName).c_str());
}

std::string SendConfigText(const std::string& PcName) {
    return Format("envoie la configuration à %s...", PcDisplayName(PcName).c_str());
}

TPipeClient::TPipeClient(TMessageTransport& Transport, int ReceiveTimeoutMs_)
    : ReceiveTimeoutMs(ReceiveTimeoutMs_), FTransport(Transport) {}

std::string TPipeClient::Transact(const std::string& PipeName, std::string_view Request) {
    try {
        const auto Connection = FTransport.Connect(PipeName, ReceiveTimeoutMs);
        Connection->Send(Request, ReceiveTimeoutMs);
        return Connection->Receive(ReceiveTimeoutMs);
    } catch (const ETransportError& E) {
        throw EPipeClientError(E.what());
    }
}

TStatsResult TPipeClient::RequestStats() {
    std::string Answer;
    try {
        Answer = Transact(InfoPipeName, BuildMessage(ReqGetStats));
    } catch (const EPipeClientError& E) {
        return {false, E.what()};
    }
    if (Answer.size() < MessageHeaderSize) {
        return {false, LengthErrorText};
    }
    if (!MessageNameIs(Answer.data(), AnsGetStats)) {
        return {false, ""};
    }
    if (Answer.size() < StatsAnswerSize) {
        return {false, LengthErrorText};
    }
    FLastPipeStats = DecodePipeStats(Answer.data() + PipeStatsOffset);
    FLastSrvStats = DecodeSrvStats(Answer.data() + SrvStatsOffset);
    return {true, ""};
}

void TPipeClient::FetchConfig() {
    const std::string Answer = Transact(ControlPipeName, BuildMessage(ReqGetConfig));
    if (Answer.size() < MessageHeaderSize) {
        throw EPipeClientError(LengthErrorText);
    }
    // Only a whole, non-empty file becomes the local copy: anything else would be sent back to
    // the service in place of its configuration.
    if (!MessageNameIs(Answer.data(), AnsGetConfig)) {
        throw EPipeClientError(WrongQuittanceText);
    }
    const TPipeMessageHeader Header = DecodeMessageHeader(Answer.data());
    if (Header.Error != 0) {
        throw EPipeClientError("The service could not read its configuration file");
    }
    if (Header.DataLength < 0 ||
        Answer.size() < MessageHeaderSize + static_cast<size_t>(Header.DataLength)) {
        throw EPipeClientError(LengthErrorText);
    }
    if (Header.DataLength == 0) {
        throw EPipeClientError("The service sent an empty configuration file");
    }
    StoreLocalConfig(
        std::string_view(Answer).substr(MessageHeaderSize, static_cast<size_t>(Header.DataLength)));
}

void TPipeClient::SendConfig() {
    if (ForcedTimeBetweenActions > 0) {
        try {
            TIniFile Ini(LocalConfigFileName);
            Ini.WriteInteger("General", "TimeBetweenActions", ForcedTimeBetweenActions);
            Ini.UpdateFile();
        } catch (const std::exception&) {
            // The forced interval is a convenience; the copy goes as it stands.
        }
    }
    const std::string Data = LoadLocalConfig(MaxConfigSize);
    const std::string Answer = Transact(ControlPipeName, BuildMessage(ReqSetConfig, Data));
    if (Answer.size() < MessageHeaderSize) {
        throw EPipeClientError(LengthErrorText);
    }
    if (!MessageNameIs(Answer.data(), AnsSetConfig)) {
        throw EPipeClientError(WrongQuittanceText);
    }
    switch (DecodeMessageHeader(Answer.data()).Error) {
    case 0:
        return;
    case 1:
        throw EPipeClientError(LengthErrorText);
    default:
        throw EPipeClientError("The service could not write its configuration file");
    }
}

void TPipeClient::StoreLocalConfig(std::string_view Data) {
    WriteFileAtomically(LocalConfigFileName, Data);
}

std::string TPipeClient::LoadLocalConfig(size_t Capacity) {
    std::string Data;
    try {
        Data = ReadFileBytes(LocalConfigFileName);
    } catch (const ETarnoError& E) {
        throw EPipeClientError(E.what());
    }
    if (Data.size() > Capacity) {
        throw EPipeClientError(Format("The configuration file \"%s\" is too large to send "
                                      "(%zu bytes, at most %zu)",
                                      LocalConfigFileName.c_str(), Data.size(), Capacity));
    }
    return Data;
}
