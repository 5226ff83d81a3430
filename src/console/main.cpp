// tarno_cfg: the desktop console of the conversion service.
#include <QApplication>
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "common/home.h"
#include "console/prompts.h"
#include "console/tarno_cfgmain.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/processes.h"
#include "platform/rundir.h"
#include "platform/servicecontrol.h"
#include "platform/transport.h"

namespace {

const char* const HelpText =
    "Usage: tarno_cfg [-CONFIG] [-TIME:n] [--home DIR] [--rundir DIR] [--service-home DIR]\n"
    "The console of the Tarno service: its state, statistics and configuration.\n"
    "  -CONFIG             open the configuration dialog once the service runs\n"
    "  -TIME:n             every configuration sent sets TimeBetweenActions to n seconds\n"
    "  --home DIR          where the console keeps tarno_cfg.ini and tarno_local.ini\n"
    "  --rundir DIR        the service's run directory (its sockets and pidfile)\n"
    "  --service-home DIR  the home given to the service when the console starts it without\n"
    "                      systemd\n"
    "The target PC is RemotePC in section [General] of tarno_cfg.ini; another PC is reached\n"
    "through ssh (tarnoctl bridge on that PC).\n";

} // namespace

int main(int argc, char** argv) {
    // Before the toolkit, which needs a display.
    for (int I = 1; I < argc; ++I) {
        if (std::strcmp(argv[I], "--help") == 0) {
            std::fputs(HelpText, stdout);
            return 0;
        }
    }
    QApplication App(argc, argv);
    QApplication::setApplicationName(QString::fromUtf8(ApplicationTitle));

    std::string HomeOption;
    std::string RunDirOption;
    std::string ServiceHome;
    std::vector<std::string> Parameters;
    for (int I = 1; I < argc; ++I) {
        const std::string Arg = argv[I];
        if (Arg == "--home" || Arg == "--rundir" || Arg == "--service-home") {
            if (I + 1 >= argc) {
                std::fprintf(stderr, "tarno_cfg: %s needs a directory (see --help)\n", Arg.c_str());
                return 2;
            }
            (Arg == "--home"     ? HomeOption
             : Arg == "--rundir" ? RunDirOption
                                 : ServiceHome) = argv[++I];
            continue;
        }
        Parameters.push_back(Arg);
    }

    try {
        InitHome(FindHome(HomeOption));
        const std::string RunDir = FindClientRunDirectory(RunDirOption);
        TConsoleEnvironment Env;
        Env.Home = ExeDir();
        TSystemClock Clock;
        Env.Clock = &Clock;
        Env.Parameters = Parameters;
        Env.MakeTransport =
            [RunDir](const std::string& PcName) -> std::unique_ptr<TMessageTransport> {
            if (PcName.empty()) {
                return std::make_unique<TUnixTransport>(RunDir);
            }
            return std::make_unique<TBridgeTransport>(SshBridgeCommand(PcName));
        };
        // The service program beside this one, or in the build tree's service folder.
        std::string ServiceExe;
        for (const char* Relative : {"/tarno", "/../service/tarno"}) {
            if (FileExists(ProgramDirectory() + Relative)) {
                ServiceExe = ProgramDirectory() + Relative;
                break;
            }
        }
        Env.OpenService = [RunDirOption, ServiceHome, ServiceExe](const std::string& PcName) {
            TServiceControlOptions Options;
            Options.Host = PcName;
            Options.RunDir = RunDirOption; // empty: the system's unit when systemd runs it
            Options.Home = ServiceHome;
            Options.ServiceExe = ServiceExe;
            return OpenServiceControl(Options, SystemProcessRunner());
        };
        TMainWnd Window(std::move(Env));
        Window.show();
        return QApplication::exec();
    } catch (const std::exception& E) {
        std::fprintf(stderr, "tarno_cfg: %s\n", E.what());
        return 1;
    }
}
