// The tarno program: the conversion service and its one-shot sub-commands. Each sub-command is
// one row of the command table; the options every command understands ("--home DIR",
// "--rundir DIR") are taken out of the arguments before the row is chosen. Without a command the
// program runs the service in the foreground.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/debuglog.h"
#include "common/errors.h"
#include "common/home.h"
#include "common/ini.h"
#include "common/text.h"
#include "common/utils.h"
#include "config/fcsconfig.h"
#include "platform/clock.h"
#include "platform/eventlog.h"
#include "platform/files.h"
#include "platform/linuxhost.h"
#include "platform/rundir.h"
#include "platform/serviceinstall.h"
#include "service/converters.h"
#include "service/fcssrv.h"
#include "service/pipeservers.h"
#include "service/socketservers.h"

#ifndef TARNO_VERSION
#error "TARNO_VERSION must hold the project version"
#endif

namespace {

constexpr int ExitUsage = 2;

struct TCommandLine {
    std::string Home;              // --home DIR, or ""
    std::string RunDir;            // --rundir DIR, or ""
    std::string Listen;            // --listen ADDR:PORT, or ""
    std::vector<std::string> Args; // the command's own arguments, after its name
};

struct TCommand {
    const char* Name;                     // the argument that selects the command
    int (*Run)(const TCommandLine& Line); // answers the exit code
    const char* Synopsis;                 // its lines in the help text; null for another name
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

// Warnings about what the loader replaces without a word: a ConvType name that is no type (the
// slot runs as NONE), keys no parameter of the slot's type reads, and watched directories that
// do not exist (relative ones are taken from Home, where the service runs).
std::vector<std::string> ConfigWarnings(const std::string& FileName, const TZirConfig& Config,
                                        const std::string& Home) {
    std::vector<std::string> Warnings;
    TIniFile Ini(FileName);
    TIniFile Known = TIniFile::FromText("");
    Config.SaveToIni(Known);
    for (int Slot = 0; Slot < TBaseFtConfig::MaxDirectories; ++Slot) {
        const std::string Section = TBaseFtConfig::SectionName(Slot);
        const std::string Where = "[" + Section + "] ";
        if (!Ini.SectionExists(Section)) {
            continue;
        }
        const std::string Type = Ini.ReadString(Section, "ConvType", "NONE");
        if (Config.GetConvType(Slot) == ctNone && Type != "NONE") {
            Warnings.push_back(Where + "ConvType \"" + Type +
                               "\" is no conversion type: the slot runs as NONE");
        }
        for (const std::string& Key : Ini.ReadSection(Section)) {
            if (!Known.ValueExists(Section, Key)) {
                Warnings.push_back(Where + "unknown key \"" + Key + "\" is ignored");
            }
        }
        const std::string& Dir = Config.GetDirectory(Slot);
        if (!Dir.empty() && !IsDirectory(Dir.starts_with("/") ? Dir : CombinePath(Home, Dir))) {
            Warnings.push_back(Where + "the watched directory \"" + Dir + "\" does not exist");
        }
    }
    return Warnings;
}

int RunCheckConfig(const TCommandLine& Line) {
    if (Line.Args.size() > 1 || (!Line.Args.empty() && Line.Args[0].starts_with("-"))) {
        return Usage("check-config takes at most one file name");
    }
    std::string FileName = Line.Args.empty() ? FindHome(Line.Home) + "/tarno.ini" : Line.Args[0];
    TStderrLog Log;
    SetLogFile(&Log, "/dev/null");
    TZirConfig Config;
    bool Loaded = Config.LoadFromFile(FileName);
    ClearLogService();
    if (Loaded && !FileExists(FileName)) {
        // The service runs with the defaults then; say so, as the printout alone would not.
        std::fprintf(stderr, "tarno: %s not found, the defaults are printed\n", FileName.c_str());
    } else if (FileExists(FileName)) {
        for (const std::string& Warning : ConfigWarnings(FileName, Config, FindHome(Line.Home))) {
            std::fprintf(stderr, "tarno: warning: %s\n", Warning.c_str());
        }
    }
    // The same text SaveToFile writes into a new file.
    TIniFile Ini = TIniFile::FromText("");
    Config.SaveToIni(Ini);
    WriteOut(Ini.GetText());
    for (const std::string& Warning : SharedOutDirWarnings(Config)) {
        std::fprintf(stderr, "tarno: warning: %s: their exports and indexes would mix\n",
                     Warning.c_str());
    }
    return Loaded ? 0 : 1;
}

// The home of a service run: found, made the process's home and its working directory.
void EnterHome(const TCommandLine& Line) {
    InitHome(FindHome(Line.Home));
    if (chdir(ExeDir().c_str()) != 0) {
        throw EOSError("Cannot enter the home \"" + ExeDir() + "\". " + SysErrorMessage(errno));
    }
}

// Started by hand on a terminal without a configuration file, the service watches nothing:
// say so, and where the file was looked for.
void TellTerminalWhenNothingIsWatched() {
    const std::string IniPath = CombinePath(ExeDir(), "tarno.ini");
    if (isatty(STDERR_FILENO) != 0 && !FileExists(IniPath)) {
        std::fprintf(stderr, "tarno: no directory is watched: %s not found\n", IniPath.c_str());
    }
}

// The event log of a service run: syslog, and the terminal too when started by hand on one.
class TServiceEventLog : public TEventLog {
public:
    TServiceEventLog() : FSyslog("Tarno"), FTerminal(isatty(STDERR_FILENO) != 0) {}
    void Report(int Level, std::string_view Text) noexcept override {
        FSyslog.Report(Level, Text);
        if (FTerminal) {
            std::fprintf(stderr, "%s %s\t%.*s\n", FormatDate(NowLocal()).c_str(),
                         FormatTime(NowLocal()).c_str(), static_cast<int>(Text.size()),
                         Text.data());
        }
    }

private:
    TSyslogEventLog FSyslog;
    bool FTerminal;
};

// A service run creates files in directories others read: an inherited umask such as 000 must
// not make its log, status files and run directory writable by everyone.
void SetServiceUmask() {
    ::umask(022);
}

int RunService(const TCommandLine& Line) {
    if (!Line.Args.empty()) {
        return Usage("unknown command \"" + Line.Args[0] + "\"");
    }
    SetServiceUmask();
    TLinuxServiceHost Host; // first: it blocks the signals before any other thread starts
    EnterHome(Line);
    TellTerminalWhenNothingIsWatched();
    const std::string RunDir = FindRunDirectory(Line.RunDir);
    const TPidFile PidFile(RunDir);
    TSystemClock Clock;
    TServiceEventLog EventLog;
    TSocketPipeServers Pipes(RunDir, Line.Listen, Clock);
    TFcService Service({Clock, Host, Pipes, &EventLog});
    Pipes.Bind(Service);
    return Host.Run(Service);
}

// A host without requests: the one pass of --once runs to its end.
class TOnceHost : public TServiceHost {
public:
    void ReportStatus() override {}
};

int RunOnce(const TCommandLine& Line) {
    if (!Line.Args.empty()) {
        return Usage("--once takes no arguments");
    }
    SetServiceUmask();
    EnterHome(Line);
    TellTerminalWhenNothingIsWatched();
    const TPidFile PidFile(FindRunDirectory(Line.RunDir));
    TSystemClock Clock;
    TServiceEventLog EventLog;
    TOnceHost Host;
    TNoPipeServers Pipes;
    TFcService Service({Clock, Host, Pipes, &EventLog});
    bool Started = true;
    Service.ServiceStart(Started);
    if (Started) {
        try {
            Service.RunDirectoryPass();
        } catch (const std::exception& E) {
            Service.Log(3, E.what());
        }
    }
    bool Stopped = true;
    Service.ServiceStop(Stopped);
    return Started ? 0 : 1;
}

int RunControl(const TCommandLine& Line) {
    const std::optional<int32_t> Code =
        Line.Args.size() == 1 ? TryStrToInt(Line.Args[0]) : std::nullopt;
    if (!Code || *Code < 128 || *Code > 255) {
        return Usage("control takes one code 128..255");
    }
    const std::string RunDir = FindClientRunDirectory(Line.RunDir);
    const int Pid = RunningServicePid(RunDir);
    if (Pid <= 0) {
        std::fprintf(stderr, "tarno: the service is not running (run directory %s)\n",
                     RunDir.c_str());
        return 1;
    }
    if (!SendServiceControl(Pid, *Code)) {
        std::fprintf(stderr, "tarno: cannot send code %d to process %d: %s\n", *Code, Pid,
                     SysErrorMessage(errno).c_str());
        return 1;
    }
    return 0;
}

// INSTALL and UNINSTALL: a trailing SILENT leaves out the message of success.
bool SilentOnly(const std::vector<std::string>& Args, bool& Silent) {
    Silent = Args.size() == 1 && Args[0] == "SILENT";
    return Args.empty() || Silent;
}

int RunInstall(const TCommandLine& Line) {
    bool Silent = false;
    if (!SilentOnly(Line.Args, Silent)) {
        return Usage("INSTALL takes only SILENT");
    }
    char Exe[4096];
    const ssize_t N = readlink("/proc/self/exe", Exe, sizeof Exe - 1);
    if (N <= 0) {
        throw EOSError("Cannot find the program's file. " + SysErrorMessage(errno));
    }
    const std::string ExePath(Exe, static_cast<size_t>(N));
    InstallServiceUnit(ServiceUnitDirectory(), ServiceUnitText("MERVANTO Vevu Vidozirido Vaziviz",
                                                               ExePath, FindHome(Line.Home)));
    if (!Silent) {
        WriteOut("Service installed successfully\n");
    }
    return 0;
}

int RunUninstall(const TCommandLine& Line) {
    bool Silent = false;
    if (!SilentOnly(Line.Args, Silent)) {
        return Usage("UNINSTALL takes only SILENT");
    }
    UninstallServiceUnit(ServiceUnitDirectory());
    if (!Silent) {
        WriteOut("Service uninstalled successfully\n");
    }
    return 0;
}

// The type and parameters `convert` runs with.
struct TConvertJob {
    int Code = ctNone;
    std::unique_ptr<TZirConfig> Config;     // --slot: the configuration holding the parameters
    std::unique_ptr<TConvParams> OwnParams; // --type: the type's defaults
    TConvParams* Params = nullptr;
    std::vector<std::pair<std::string, std::string>> Settings; // --set and --out, in order
    std::string Store;
    std::vector<std::string> Files;
};

// Applies KEY=VALUE settings as the configuration file would give them: the parameters are
// written to an INI section, the keys replaced, and the section read back with its rules.
bool ApplySettings(TConvertJob& Job, std::string& Error) {
    if (Job.Settings.empty()) {
        return true;
    }
    const char* const Section = "Convert";
    TIniFile Ini = TIniFile::FromText("");
    Job.Params->SaveToIni(Ini, Section);
    for (const auto& [Key, Value] : Job.Settings) {
        if (!Ini.ValueExists(Section, Key)) {
            Error =
                "unknown key \"" + Key + "\" for the type " + TZirConfig::ConvTypeToText(Job.Code);
            return false;
        }
        Ini.WriteString(Section, Key, Value);
    }
    Job.Params->LoadFromIni(Ini, Section);
    return true;
}

// The conversion types of this build, each with its --set keys and their defaults, read from the
// type table and the parameter classes.
int RunConvertHelp() {
    std::string Text = "tarno convert (--type NAME | --slot N) [--home DIR] [--config FILE]\n"
                       "              [--set KEY=VALUE]... [--out DIR] [--store NAME] FILE...\n\n"
                       "Conversion types of this build (--type NAME, any case), with the keys\n"
                       "--set takes and their defaults:\n";
    for (const TConvTypeInfo& Info : ConvTypeTable()) {
        if (!HasConverter(Info.Code)) {
            continue;
        }
        Text += std::string("\n  ") + Info.Name + "\n";
        TIniFile Ini = TIniFile::FromText("");
        Info.Create()->SaveToIni(Ini, "Type");
        for (const std::string& Key : Ini.ReadSection("Type")) {
            Text += "    " + Key + "=" + Ini.ReadString("Type", Key, "") + "\n";
        }
    }
    WriteOut(Text);
    return 0;
}

int RunConvert(const TCommandLine& Line) {
    if (!Line.Args.empty() && (Line.Args[0] == "--help" || Line.Args[0] == "-h")) {
        return RunConvertHelp();
    }
    TConvertJob Job;
    std::string TypeName, SlotText, ConfigFile;
    const std::vector<std::string>& A = Line.Args;
    for (size_t I = 0; I < A.size(); ++I) {
        const bool HasValue = I + 1 < A.size();
        if (A[I] == "--type" && HasValue) {
            TypeName = A[++I];
        } else if (A[I] == "--slot" && HasValue) {
            SlotText = A[++I];
        } else if (A[I] == "--config" && HasValue) {
            ConfigFile = A[++I];
        } else if (A[I] == "--store" && HasValue) {
            Job.Store = A[++I];
        } else if (A[I] == "--out" && HasValue) {
            Job.Settings.emplace_back("OutDir", A[++I]);
        } else if (A[I] == "--set" && HasValue) {
            const std::string& Pair = A[++I];
            const size_t Equal = Pair.find('=');
            if (Equal == std::string::npos || Equal == 0) {
                return Usage("--set needs KEY=VALUE");
            }
            Job.Settings.emplace_back(Pair.substr(0, Equal), Pair.substr(Equal + 1));
        } else if (A[I].starts_with("--")) {
            return Usage("convert: unknown or incomplete option " + A[I]);
        } else {
            Job.Files.push_back(A[I]);
        }
    }
    if (TypeName.empty() == SlotText.empty()) {
        return Usage("convert needs either --type NAME or --slot N");
    }
    if (Job.Files.empty()) {
        return Usage("convert needs at least one file");
    }
    TStderrLog Log;
    SetLogFile(&Log, "/dev/null");
    if (!TypeName.empty()) {
        const TConvTypeInfo* Type = nullptr;
        for (const TConvTypeInfo& Info : ConvTypeTable()) {
            Type = SameText(Info.Name, TypeName) ? &Info : Type;
        }
        if (Type == nullptr) {
            return Usage("unknown conversion type \"" + TypeName + "\"");
        }
        Job.Code = Type->Code;
        Job.OwnParams = Type->Create();
        Job.Params = Job.OwnParams.get();
    } else {
        const std::optional<int32_t> Slot = TryStrToInt(SlotText);
        if (!Slot || *Slot < 0 || *Slot >= TBaseFtConfig::MaxDirectories) {
            return Usage("--slot takes a slot number 0..63");
        }
        Job.Config = std::make_unique<TZirConfig>();
        Job.Config->LoadFromFile(ConfigFile.empty() ? FindHome(Line.Home) + "/tarno.ini"
                                                    : ConfigFile);
        Job.Code = Job.Config->GetConvType(*Slot);
        Job.Params = &Job.Config->GetParams(*Slot);
    }
    // Names on the command line are taken from the current directory; a slot's own relative
    // directories from the home, where the service runs.
    for (std::string& File : Job.Files) {
        File = CombinePath("", File);
    }
    for (auto& [Key, Value] : Job.Settings) {
        if (SameText(Key, "OutDir") && !Value.empty()) {
            Value = CombinePath("", Value);
        }
    }
    if (std::string Error; !ApplySettings(Job, Error)) {
        return Usage(Error);
    }
    // An output directory given here is created, as the service creates its own.
    if (std::any_of(Job.Settings.begin(), Job.Settings.end(),
                    [](const auto& Setting) { return SameText(Setting.first, "OutDir"); })) {
        CreateDirWithRights(Job.Params->OutDir);
    }
    if (Job.Config) {
        EnterHome(Line);
    } else {
        InitHome(FindHome(Line.Home));
    }
    int Result = 0;
    for (const std::string& File : Job.Files) {
        if (!FileExists(File)) {
            std::fprintf(stderr, "%s : file not found\n", File.c_str());
            Result = 1;
            continue;
        }
        try {
            bool Rewritten = false;
            if (!ConvertWithType(Job.Code, File, *Job.Params, Job.Store, Rewritten)) {
                std::fprintf(stderr, "%s : conversion failed\n", File.c_str());
                Result = 1;
            }
        } catch (const std::exception& E) {
            std::fprintf(stderr, "%s : %s\n", File.c_str(), E.what());
            Result = 1;
        }
    }
    ClearLogService();
    return Result;
}

int RunHelp(const TCommandLine& Line);

int RunVersion(const TCommandLine& /*Line*/) {
    WriteOut("tarno " + std::string(TARNO_VERSION) + "\n");
    return 0;
}

const TCommand Commands[] = {
    {"", &RunService,
     "tarno [--home DIR] [--rundir DIR] [--listen ADDRESS:PORT]\n"
     "    run the service in the foreground until SIGTERM or SIGINT; --listen also serves\n"
     "    the statistics (read-only) over TCP"},
    {"--once", &RunOnce,
     "tarno [--home DIR] [--rundir DIR] --once\n"
     "    start the service, run one directory pass and stop (exit code 1: the start failed)"},
    {"control", &RunControl,
     "tarno control CODE [--rundir DIR]\n"
     "    send the user-defined code CODE (128..255) to the running service; 192 + N\n"
     "    converts every file of slot N again"},
    {"convert", &RunConvert,
     "tarno convert (--type NAME | --slot N) [--home DIR] [--config FILE]\n"
     "              [--set KEY=VALUE]... [--out DIR] [--store NAME] FILE...\n"
     "    convert the files as the service would (exit code 1: a file failed)"},
    {"INSTALL", &RunInstall,
     "tarno INSTALL [SILENT]\n"
     "    install the systemd unit tarno.service (directory: $TARNO_UNIT_DIR or\n"
     "    /etc/systemd/system) and enable it"},
    {"UNINSTALL", &RunUninstall, "tarno UNINSTALL [SILENT]\n    disable and remove the unit"},
    {"check-config", &RunCheckConfig,
     "tarno [--home DIR] check-config [FILE]\n"
     "    load FILE (default: the home's tarno.ini) as the service does and print it as\n"
     "    saving it would write it; loading errors go to stderr (exit code 1)"},
    {"--help", &RunHelp,
     "tarno --help | -h | help\n    list the commands; tarno convert --help lists the conversion\n"
     "    types of this build with their keys"},
    {"-h", &RunHelp, nullptr},
    {"help", &RunHelp, nullptr},
    {"--version", &RunVersion, "tarno --version\n    print the program's version"},
};

int RunHelp(const TCommandLine& /*Line*/) {
    std::string Text = "tarno " + std::string(TARNO_VERSION) + ", the conversion service\n\n";
    for (const TCommand& Command : Commands) {
        if (Command.Synopsis != nullptr) {
            Text += Command.Synopsis;
            Text += "\n";
        }
    }
    Text += "\nThe home is --home DIR, else $TARNO_HOME, else the program's directory.\n";
    WriteOut(Text);
    return 0;
}

// INSTALL, UNINSTALL and SILENT in any case, also after "-" or "/"; "" for any other word.
std::string ServiceSwitch(const std::string& Arg) {
    std::string_view Word = Arg;
    if (Word.starts_with("-") || Word.starts_with("/")) {
        Word.remove_prefix(1);
    }
    for (const char* Switch : {"INSTALL", "UNINSTALL", "SILENT"}) {
        if (SameText(Word, Switch)) {
            return Switch;
        }
    }
    return "";
}

// Paths given in the environment, made absolute against the directory the program was started
// in: the service leaves it for its home before it reads them.
void MakeEnvironmentPathsAbsolute() {
    for (const char* Name : {"TARNO_HOME", "TARNO_RUNDIR", "TARNO_UNIT_DIR", "TARNO_DRIVE"}) {
        const char* Value = std::getenv(Name);
        if (Value != nullptr && *Value != '\0' && *Value != '/') {
            setenv(Name, CombinePath("", Value).c_str(), 1);
        }
    }
}

// A switch word counts only where a command stands: INSTALL or UNINSTALL first, SILENT right
// after one of them. Anywhere else (a file name, say) the word is taken as written.
bool IsSwitchPosition(const std::vector<std::string>& Before, const std::string& Word) {
    if (Word == "SILENT") {
        return Before.size() == 1 && (Before[0] == "INSTALL" || Before[0] == "UNINSTALL");
    }
    return Before.empty();
}

} // namespace

int main(int argc, char** argv) {
    try {
        MakeEnvironmentPathsAbsolute();
        TCommandLine Line;
        std::vector<std::string> Args(argv + 1, argv + argc);
        for (std::size_t I = 0; I < Args.size(); ++I) {
            if (Args[I] == "--home" || Args[I] == "--rundir") {
                if (I + 1 == Args.size()) {
                    return Usage(Args[I] + " needs a directory");
                }
                (Args[I] == "--home" ? Line.Home : Line.RunDir) =
                    Args[I + 1].empty() ? "" : CombinePath("", Args[I + 1]);
                ++I;
            } else if (Args[I] == "--listen") {
                if (I + 1 == Args.size()) {
                    return Usage("--listen needs ADDRESS:PORT");
                }
                Line.Listen = Args[++I];
            } else if (const std::string Word = ServiceSwitch(Args[I]);
                       !Word.empty() && IsSwitchPosition(Line.Args, Word)) {
                Line.Args.push_back(Word);
            } else {
                Line.Args.push_back(Args[I]);
            }
        }
        for (const TCommand& Command : Commands) {
            if (!Line.Args.empty() && Line.Args[0] == Command.Name) {
                Line.Args.erase(Line.Args.begin());
                return Command.Run(Line);
            }
        }
        return RunService(Line);
    } catch (const std::exception& E) {
        std::fprintf(stderr, "tarno: %s\n", E.what());
        return 1;
    }
}
