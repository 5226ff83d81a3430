// The tarno program: the conversion service and its one-shot sub-commands. Each sub-command is
// one row of the command table; the options every command understands ("--home DIR") are taken
// out of the arguments before the row is chosen.
#include <cstdio>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

#include "common/debuglog.h"
#include "common/home.h"
#include "common/ini.h"
#include "config/fcsconfig.h"
#include "platform/files.h"

#ifndef TARNO_VERSION
#error "TARNO_VERSION must hold the project version"
#endif

namespace {

constexpr int ExitUsage = 2;

struct TCommandLine {
    std::string Home;              // --home DIR, or ""
    std::vector<std::string> Args; // the command's own arguments, after its name
};

struct TCommand {
    const char* Name;                     // the argument that selects the command
    int (*Run)(const TCommandLine& Line); // answers the exit code
    const char* Synopsis;                 // its line in the help text
};

int Usage(const std::string& Message) {
    std::fprintf(stderr, "tarno: %s (tarno --help lists the commands)\n", Message.c_str());
    return ExitUsage;
}

void WriteOut(std::string_view Bytes) {
    std::fwrite(Bytes.data(), 1, Bytes.size(), stdout);
    std::fflush(stdout);
}

// The loader reports through the debug log; this puts the report's text on stderr.
class TStderrLog : public TEventLog {
public:
    void Report(int /*Level*/, std::string_view Text) noexcept override {
        std::fprintf(stderr, "%.*s\n", static_cast<int>(Text.size()), Text.data());
    }
};

int RunCheckConfig(const TCommandLine& Line) {
    if (Line.Args.size() > 1 || (!Line.Args.empty() && Line.Args[0].starts_with("-"))) {
        return Usage("check-config takes at most one file name");
    }
    std::string FileName = Line.Args.empty() ? FindHome(Line.Home) + "/tarno.ini" : Line.Args[0];
    if (!FileExists(FileName)) {
        // The service runs with the defaults then; say so, as the printout alone would not.
        std::fprintf(stderr, "tarno: %s not found, the defaults are printed\n", FileName.c_str());
    }
    TStderrLog Log;
    SetLogFile(&Log, "/dev/null");
    TZirConfig Config;
    bool Loaded = Config.LoadFromFile(FileName);
    ClearLogService();
    // The same text SaveToFile writes into a new file.
    TIniFile Ini = TIniFile::FromText("");
    Config.SaveToIni(Ini);
    WriteOut(Ini.GetText());
    return Loaded ? 0 : 1;
}

int RunHelp(const TCommandLine& Line);

int RunVersion(const TCommandLine& /*Line*/) {
    WriteOut("tarno " + std::string(TARNO_VERSION) + "\n");
    return 0;
}

const TCommand Commands[] = {
    {"check-config", &RunCheckConfig,
     "tarno [--home DIR] check-config [FILE]\n"
     "    load FILE (default: the home's tarno.ini) as the service does and print it as\n"
     "    saving it would write it; loading errors go to stderr (exit code 1)"},
    {"--help", &RunHelp, "tarno --help\n    list the commands"},
    {"--version", &RunVersion, "tarno --version\n    print the program's version"},
};

int RunHelp(const TCommandLine& /*Line*/) {
    std::string Text = "tarno " + std::string(TARNO_VERSION) + ", the conversion service\n\n";
    for (const TCommand& Command : Commands) {
        Text += Command.Synopsis;
        Text += "\n";
    }
    Text += "\nThe home is --home DIR, else $TARNO_HOME, else the program's directory.\n";
    WriteOut(Text);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    try {
        TCommandLine Line;
        std::vector<std::string> Args(argv + 1, argv + argc);
        for (std::size_t I = 0; I < Args.size(); ++I) {
            if (Args[I] == "--home") {
                if (I + 1 == Args.size()) {
                    return Usage("--home needs a directory");
                }
                Line.Home = Args[++I];
            } else {
                Line.Args.push_back(Args[I]);
            }
        }
        if (Line.Args.empty()) {
            return Usage("no command given");
        }
        for (const TCommand& Command : Commands) {
            if (Line.Args[0] == Command.Name) {
                Line.Args.erase(Line.Args.begin());
                return Command.Run(Line);
            }
        }
        return Usage("unknown command \"" + Line.Args[0] + "\"");
    } catch (const std::exception& E) {
        std::fprintf(stderr, "tarno: %s\n", E.what());
        return 1;
    }
}
