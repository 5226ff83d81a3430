#include "tools/ctlcommands.h"

#include <ostream>

#include "common/clock.h"
#include "common/errors.h"
#include "common/text.h"
#include "pipe/bridge.h"
#include "pipe/pipeclient.h"
#include "pipe/statstext.h"
#include "platform/servicecontrol.h"

namespace {

// The commands and how many arguments each takes.
struct TCommandSpec {
    const char* Name;
    size_t ArgCount;
};
constexpr TCommandSpec CommandSpecs[] = {
    {"status", 0}, {"get-config", 1}, {"set-config", 1}, {"reprocess", 1}, {"start", 0},
    {"stop", 0},   {"restart", 0},    {"bridge", 0},     {"state", 0},
};

// Characters of a UTF-8 text (continuation bytes not counted).
size_t Width(const std::string& Text) {
    size_t Count = 0;
    for (const char C : Text) {
        Count += (static_cast<unsigned char>(C) & 0xC0) != 0x80;
    }
    return Count;
}

std::string Row(const std::string& Label, const std::string& Value) {
    constexpr size_t Column = 40;
    const size_t Used = Width(Label) + 2;
    return "  " + Label + std::string(Used < Column ? Column - Used : 1, ' ') + Value + "\n";
}

std::string TimeOrDash(const TSystemTime& Time) {
    return Time.wYear == 0 ? "-" : SystemTimeText(Time);
}

// "<time>  <text>", or "-" for an empty text.
std::string Timed(const char* Text, const TSystemTime& Time) {
    return *Text == '\0' ? "-" : TimeOrDash(Time) + "  " + Text;
}

std::string JsonString(std::string_view Text) {
    std::string Out = "\"";
    for (size_t I = 0; I < Text.size(); ++I) {
        const auto C = static_cast<unsigned char>(Text[I]);
        // A byte that does not start a whole UTF-8 sequence is taken as Latin-1.
        size_t Length = C < 0x80         ? 1
                        : (C >> 5) == 6  ? 2
                        : (C >> 4) == 14 ? 3
                        : (C >> 3) == 30 ? 4
                                         : 0;
        for (size_t K = 1; K < Length; ++K) {
            if (I + K >= Text.size() || (static_cast<unsigned char>(Text[I + K]) & 0xC0) != 0x80) {
                Length = 0;
            }
        }
        if (C == '"' || C == '\\') {
            Out += '\\';
            Out += static_cast<char>(C);
        } else if (C < 0x20 || Length == 0) {
            Out += Format("\\u%04x", C);
        } else {
            Out.append(Text.substr(I, Length));
            I += Length - 1;
        }
    }
    return Out + "\"";
}

std::string JsonTime(const TSystemTime& T) {
    if (T.wYear == 0) {
        return "null";
    }
    return Format("\"%04u-%02u-%02uT%02u:%02u:%02u.%03u\"", unsigned(T.wYear), unsigned(T.wMonth),
                  unsigned(T.wDay), unsigned(T.wHour), unsigned(T.wMinute), unsigned(T.wSecond),
                  unsigned(T.wMilliseconds));
}

class TCommandRunner {
public:
    TCommandRunner(const TCtlOptions& Options, TCtlEnvironment& Env)
        : FOptions(Options), FEnv(Env), FClient(Env.Transport, Env.ReceiveTimeoutMs) {}

    int Run() {
        const std::string& C = FOptions.Command;
        if (C == "status") {
            return Status();
        }
        if (C == "get-config") {
            FClient.LocalConfigFileName = FOptions.Args[0];
            FClient.FetchConfig();
            return 0;
        }
        if (C == "set-config") {
            FClient.LocalConfigFileName = FOptions.Args[0];
            FClient.SendConfig();
            FEnv.Out << "Configuration sent; it takes effect when the service starts again "
                        "(tarnoctl restart)\n";
            return 0;
        }
        if (C == "reprocess") {
            const auto Slot = TryStrToInt(FOptions.Args[0]);
            if (!Slot || *Slot < 0 || *Slot > 63) {
                FEnv.Err << "tarnoctl: reprocess takes a slot 0..63\n";
                return CtlExitUsage;
            }
            const bool Running = FEnv.Control.Query().State == ServiceRunning;
            SendCommand(FEnv.Control, CtrlProcessAllFiles, *Slot, Running);
            return 0;
        }
        if (C == "start" || C == "stop") {
            // As the console's buttons: nothing to do when the service is there already.
            const bool Start = C == "start";
            if (FEnv.Control.Query().State == (Start ? ServiceRunning : ServiceStopped)) {
                FEnv.Out << "The service is " << (Start ? "running" : "stopped") << " already on "
                         << PcDisplayName(FOptions.Pc) << "\n";
                return 0;
            }
            (Start ? StartServiceAndWait : StopServiceAndWait)(FEnv.Control, FEnv.Clock);
            return 0;
        }
        if (C == "restart") {
            if (FEnv.Control.Query().State != ServiceStopped) {
                StopServiceAndWait(FEnv.Control, FEnv.Clock);
            }
            StartServiceAndWait(FEnv.Control, FEnv.Clock);
            return 0;
        }
        if (C == "state") {
            const TServiceQuery Q = FEnv.Control.Query();
            FEnv.Out << Q.State << " " << Q.CheckPoint << " " << Q.WaitHint << "\n";
            return 0;
        }
        // bridge
        std::string Error;
        if (RunBridge(FEnv.In, FEnv.OutFd, FEnv.Transport, FEnv.ReceiveTimeoutMs, Error) != 0) {
            FEnv.Err << "tarnoctl: " << Error << "\n";
            return CtlExitFailed;
        }
        return 0;
    }

private:
    int Status() {
        const TStatsResult R = FClient.RequestStats();
        if (!R.Ok) {
            FEnv.Err << "tarnoctl: "
                     << (R.StatusText.empty() ? std::string(WrongQuittanceText) : R.StatusText)
                     << "\n";
            return CtlExitFailed;
        }
        int State = 0;
        try {
            State = FEnv.Control.Query().State;
        } catch (const std::exception&) {
            // The statistics came; the state stays unknown.
        }
        FEnv.Out << (FOptions.Json
                         ? StatusJson(State, FClient.LastPipeStats(), FClient.LastSrvStats())
                         : StatusText(State, FClient.LastPipeStats(), FClient.LastSrvStats(),
                                      FEnv.Clock.Now()));
        return 0;
    }

    const TCtlOptions& FOptions;
    TCtlEnvironment& FEnv;
    TPipeClient FClient;
};

} // namespace

std::optional<TCtlOptions> ParseCtlArgs(const std::vector<std::string>& Args, std::string& Error) {
    TCtlOptions Options;
    for (size_t I = 0; I < Args.size(); ++I) {
        const std::string& A = Args[I];
        if (A == "--rundir" || A == "--pc") {
            if (I + 1 == Args.size() || Args[I + 1].empty()) {
                Error = A + " needs a value";
                return std::nullopt;
            }
            (A == "--rundir" ? Options.RunDir : Options.Pc) = Args[++I];
        } else if (A == "--json") {
            Options.Json = true;
        } else if (Options.Command.empty() && !A.starts_with("-")) {
            Options.Command = A;
        } else if (!Options.Command.empty() && (A == "-" || !A.starts_with("-"))) {
            Options.Args.push_back(A);
        } else {
            Error = "unknown option \"" + A + "\"";
            return std::nullopt;
        }
    }
    if (Options.Command.empty()) {
        Error = "no command given";
        return std::nullopt;
    }
    const TCommandSpec* Spec = nullptr;
    for (const TCommandSpec& S : CommandSpecs) {
        if (Options.Command == S.Name) {
            Spec = &S;
        }
    }
    if (Spec == nullptr) {
        Error = "unknown command \"" + Options.Command + "\"";
        return std::nullopt;
    }
    if (Options.Args.size() != Spec->ArgCount) {
        Error =
            Options.Command + (Spec->ArgCount == 0 ? " takes no arguments" : " takes one argument");
        return std::nullopt;
    }
    if (Options.Json && Options.Command != "status") {
        Error = "--json goes with status only";
        return std::nullopt;
    }
    if (!Options.Pc.empty()) {
        if (Options.Pc.front() == '-') {
            Error = "invalid host name \"" + Options.Pc + "\"";
            return std::nullopt;
        }
        if (!Options.RunDir.empty()) {
            Error = "--rundir names a directory of this machine; it does not go with --pc";
            return std::nullopt;
        }
        if (Options.Command == "bridge" || Options.Command == "state") {
            Error =
                Options.Command + " runs on the service's own machine; it does not go with --pc";
            return std::nullopt;
        }
    }
    return Options;
}

std::string CtlUsage() {
    return "usage: tarnoctl [--rundir DIR] [--pc HOST] COMMAND\n"
           "\n"
           "  status [--json]     the service's statistics (--json: one object for scripts)\n"
           "  get-config FILE     fetch the service's tarno.ini into FILE\n"
           "  set-config FILE     replace the service's tarno.ini with FILE; it takes effect at\n"
           "                      the next start (restart)\n"
           "  reprocess SLOT      convert every file of directory slot SLOT (0..63) again\n"
           "  start | stop | restart\n"
           "                      start or stop the service and wait for it\n"
           "  state               the service's state as numbers (used through --pc)\n"
           "  bridge              relay framed messages between stdin/stdout and this\n"
           "                      machine's sockets (what --pc runs on the other machine)\n"
           "\n"
           "  --rundir DIR        the service's run directory (default: $TARNO_RUNDIR, else\n"
           "                      /run/tarno when the service's socket is there, else the\n"
           "                      user's own)\n"
           "  --pc HOST           the service of another machine, through\n"
           "                      \"ssh -T HOST tarnoctl ...\"\n"
           "\n"
           "Exit status: 0 done, 1 failed (the message on stderr), 2 usage.\n";
}

int RunCtlCommand(const TCtlOptions& Options, TCtlEnvironment& Environment) {
    try {
        return TCommandRunner(Options, Environment).Run();
    } catch (const std::exception& E) {
        Environment.Err << "tarnoctl: " << E.what() << "\n";
        return CtlExitFailed;
    }
}

std::string StatusText(int State, const TPipeStats& P, const TRorozoraSrvStats& S, TDateTime Now) {
    std::string T;
    T += Row("Service", ServiceStateText(State));
    T += Row("Traite", S.Busy ? "oui" : "non");
    T += "Opérations avec les fichiers de données\n";
    T += Row("Dernier fichier traite sans erreur",
             *S.LastFileOk ? std::string(S.LastFileOk) + "  " + TimeOrDash(S.LastFileOkAt) : "-");
    T +=
        Row("Dernier fichier en erreur",
            *S.LastFileBad ? std::string(S.LastFileBad) + "  " + TimeOrDash(S.LastFileBadAt) : "-");
    T += Row("Heure du dernier contrôle de fichier",
             S.LastGroupOk != 0 || S.LastGroupBad != 0
                 ? LastGroupText(S) + "  " + TimeOrDash(S.LastGroupAt)
                 : "-");
    T += Row("Heure du contrôle suivant",
             S.NextCheckAt.wYear != 0 ? NextCheckText(S.NextCheckAt, Now) : "-");
    T += Row("Dernier évènement", Timed(S.LastEventText, S.LastEventAt));
    T += Row("Dernière erreur", Timed(S.LastErrorText, S.LastErrorAt));
    T += "Statistique\n";
    T += Row("Version du Service:", VersionText(S));
    T += Row("Démarrage a:", TimeOrDash(P.StartTime));
    T += Row("Connections avec succès:", CounterText(P.Connections));
    T += Row("Connections avec erreur:", CounterText(P.ConnectErrors));
    T += Row("Demandes received:", CounterText(P.Requests));
    T += Row("Bytes received:", CounterText(P.RequestBytes));
    T += Row("Réponses sent:", CounterText(P.Answers));
    T += Row("Bytes sent:", CounterText(P.AnswerBytes));
    T += Row("Write errors:", CounterText(P.WriteErrors));
    return T;
}

std::string StatusJson(int State, const TPipeStats& P, const TRorozoraSrvStats& S) {
    std::string J = "{";
    const auto Add = [&J](const char* Key, const std::string& Value) {
        if (J.size() > 1) {
            J += ",";
        }
        J += "\n  " + JsonString(Key) + ": " + Value;
    };
    Add("state", State == 0 ? "null" : std::to_string(State));
    Add("stateText", State == 0 ? "null" : JsonString(ServiceStateText(State)));
    Add("version", JsonString(VersionText(S)));
    Add("busy", S.Busy ? "true" : "false");
    Add("lastFileOk", JsonString(S.LastFileOk));
    Add("lastFileOkAt", JsonTime(S.LastFileOkAt));
    Add("lastFileBad", JsonString(S.LastFileBad));
    Add("lastFileBadAt", JsonTime(S.LastFileBadAt));
    Add("lastGroupOk", std::to_string(S.LastGroupOk));
    Add("lastGroupBad", std::to_string(S.LastGroupBad));
    Add("lastGroupElapsedMs", std::to_string(S.LastGroupElapsedMs));
    Add("lastGroupAt", JsonTime(S.LastGroupAt));
    Add("nextCheckAt", JsonTime(S.NextCheckAt));
    Add("lastEvent", JsonString(S.LastEventText));
    Add("lastEventAt", JsonTime(S.LastEventAt));
    Add("lastError", JsonString(S.LastErrorText));
    Add("lastErrorAt", JsonTime(S.LastErrorAt));
    Add("serverStartedAt", JsonTime(P.StartTime));
    Add("connections", std::to_string(P.Connections));
    Add("connectErrors", std::to_string(P.ConnectErrors));
    Add("requests", std::to_string(P.Requests));
    Add("requestBytes", std::to_string(P.RequestBytes));
    Add("answers", std::to_string(P.Answers));
    Add("answerBytes", std::to_string(P.AnswerBytes));
    Add("writeErrors", std::to_string(P.WriteErrors));
    return J + "\n}\n";
}
