// tavrelk-bank: receive, send and list DW-8000 banks from the command line,
// with the editor's own messages, files and transfers: a transfer runs on the
// same session (engine::TSession) as the editor, over its settings file.

#include "dw/Program.h"
#include "dw/SyxFile.h"
#include "engine/DeviceSearch.h"
#include "engine/Editor.h"
#include "engine/IniSettings.h"
#include "engine/Librarian.h"
#include "engine/PortRoles.h"
#include "engine/Session.h"
#include "platform/IniFile.h"
#include "platform/MidiService.h"
#include "platform/RtMidiService.h"
#include "platform/TerminationSignals.h"

#include "BuildInfo.h"
#include "LibraryCommands.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <cerrno>
#include <cstring>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const kUsage =
    "Usage: tavrelk-bank [--settings FILE] COMMAND [FILE] [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  receive FILE   the DW-8000's 64 programs into a bank file\n"
    "  send FILE      a file's programs into the DW-8000: a bank's programs\n"
    "                 where it numbers them, or a file of one patch into the\n"
    "                 program given with --program\n"
    "  list FILE      what a file holds, one line a program\n"
    "  ports          the MIDI ports, as the setup dialog lists them\n"
    "  detect         find the DW-8000 and the BCR2000: their ports and the\n"
    "                 DW-8000's channel, one line each\n"
    "\n"
    "Options (programs are numbered 11-88, as the DW-8000 shows them):\n"
    "  --from PORT      the input the DW-8000's MIDI OUT reaches\n"
    "  --to PORT        the output to the DW-8000's MIDI IN\n"
    "  --channel N      the DW-8000's MIDI channel, 1-16\n"
    "  --first P        send: the first program of the bank to write (default 11)\n"
    "  --last P         send: the last program of the bank to write (default 88)\n"
    "  --program P      send: the program to write a one-patch file to\n"
    "  --settings FILE  the editor's settings file, for the ports and channel\n"
    "                   not given (default: the editor's own)\n"
    "  --help, --version\n"
    "\n"
    "Exit status: 0 when every program was received, or written and confirmed\n"
    "(detect: when both devices answered); 1 when not; 2 for a wrong command\n"
    "line; 128 + the signal's number when interrupted (130 after Ctrl+C).\n";

struct TOptions {
    std::string Command, File, From, To, Settings;
    int Channel = 0;         // 1..16, 0 for the setting
    int First = 0, Last = 0; // 11..88, 0 when not given
    int Program = 0;         // 11..88 for a file of one patch, 0 when not given
    bool NoLibrary = false;  // receive: the programs are not kept in the patch library
};

int Fail(const std::string &why, int code = 1)
{
    std::fprintf(stderr, "tavrelk-bank: %s\n", why.c_str());
    return code;
}

std::string Count(std::size_t n, const char *what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

// Systems that did not start in time leave their ports out of every list.
std::string UnansweredText(const platform::RtMidiService &service)
{
    std::string names;
    for (const std::string &s : service.Unanswered())
        names += (names.empty() ? "" : ", ") + s;
    return "the MIDI service did not answer (" + names + ") within " +
           std::to_string(platform::RtMidiService::kOpenWaitLimit.count() / 1000) + " s: is its server stopped or busy?";
}

// Each command gets the run's signal watch, null for one without MIDI.
int List(const TOptions &o, const TTerminationSignals *);
int Ports(const TOptions &o, const TTerminationSignals *);
int Detect(const TOptions &o, const TTerminationSignals *);
int Transfer(const TOptions &o, const TTerminationSignals *termination);

// The subcommands; a new one is a row here.
struct TCommand {
    const char *Name;
    bool TakesFile;
    bool UsesMidi; // needs the application object and the MIDI service
    int (*Run)(const TOptions &, const TTerminationSignals *);
};
const TCommand kCommands[] = {
    {"receive", true, true, Transfer}, {"send", true, true, Transfer}, {"list", true, false, List},
    {"ports", false, true, Ports},     {"detect", false, true, Detect},
};

const TCommand *FindCommand(const std::string &name)
{
    for (const TCommand &c : kCommands)
        if (name == c.Name)
            return &c;
    return nullptr;
}

// A program as the DW-8000 shows it (11..88) into `to`.
bool ParseProgram(const std::string &option, const char *value, int &to, std::string &error)
{
    char *end = nullptr;
    const long v = std::strtol(value, &end, 10);
    if (*end != '\0' || end == value || v < 11 || v > 88 || dw::ProgramIndex(int(v)) < 0) {
        error = option + " takes a program as the DW-8000 shows it, 11 to 88 (each digit 1-8)";
        return false;
    }
    to = int(v);
    return true;
}

bool ParseOption(const std::string &a, const char *value, TOptions &o, std::string &error)
{
    if (a == "--from") {
        o.From = value;
    } else if (a == "--to") {
        o.To = value;
    } else if (a == "--settings") {
        o.Settings = value;
    } else if (a == "--first" || a == "--last" || a == "--program") {
        return ParseProgram(a, value, a == "--first" ? o.First : a == "--last" ? o.Last : o.Program, error);
    } else if (a == "--channel") {
        char *end = nullptr;
        const long v = std::strtol(value, &end, 10);
        if (*end != '\0' || end == value || v < 1 || v > 16) {
            error = a + " takes a number from 1 to 16";
            return false;
        }
        o.Channel = int(v);
    }
    return true;
}

bool CheckCombination(const TOptions &o, std::string &error)
{
    const TCommand *command = FindCommand(o.Command);
    if (o.Command.empty())
        error = "no command given";
    else if (!command)
        error = "unknown command " + o.Command;
    else if (command->TakesFile && o.File.empty())
        error = o.Command + " needs a file";
    else if (!command->TakesFile && !o.File.empty())
        error = "unexpected argument " + o.File;
    else if ((o.First != 0 || o.Last != 0 || o.Program != 0) && o.Command != "send")
        error = "--first, --last and --program go with send";
    else if (o.NoLibrary && o.Command != "receive")
        error = "--no-library goes with receive";
    else if (o.Program != 0 && (o.First != 0 || o.Last != 0))
        error = "--program is for a file of one patch, --first and --last for a bank: not both";
    else if (o.First != 0 && o.Last != 0 && dw::ProgramIndex(o.First) > dw::ProgramIndex(o.Last))
        error = "--first comes after --last";
    return error.empty();
}

bool ParseOptions(int argc, char **argv, TOptions &o, std::string &error)
{
    static const char *const kValueOptions[] = {"--from",  "--to",   "--settings", "--channel",
                                                "--first", "--last", "--program"};
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool takesValue = std::any_of(std::begin(kValueOptions), std::end(kValueOptions),
                                            [&a](const char *name) { return a == name; });
        if (takesValue) {
            if (i + 1 >= argc) {
                error = a + " needs a value";
                return false;
            }
            if (!ParseOption(a, argv[++i], o, error))
                return false;
        } else if (a == "--no-library") {
            o.NoLibrary = true;
        } else if (!a.empty() && a[0] == '-') {
            error = "unknown option " + a;
            return false;
        } else if (o.Command.empty()) {
            o.Command = a;
        } else if (o.File.empty()) {
            o.File = a;
        } else {
            error = "unexpected argument " + a;
            return false;
        }
    }
    return CheckCombination(o, error);
}

std::optional<dw::TSyxFile> ReadBank(const std::string &path, std::string &error)
{
    dw::TSyxRead read = dw::ReadSyxFile(path);
    if (!read.Ok) {
        error = read.Unreadable ? read.Error : path + ": " + read.Error;
        return std::nullopt;
    }
    return read.File;
}

int List(const TOptions &o, const TTerminationSignals *)
{
    std::string error;
    const std::optional<dw::TSyxFile> file = ReadBank(o.File, error);
    if (!file)
        return Fail(error);
    const char *form = file->Form == dw::TSyxForm::Bank ? "bank" : file->Form == dw::TSyxForm::Dump ? "dump" : "data block";
    std::printf("%s: %s, %zu program%s", o.File.c_str(), form, file->Programs.size(), file->Programs.size() == 1 ? "" : "s");
    if (file->Channel != dw::NoChannel)
        std::printf(", channel %d", file->Channel + 1);
    std::printf("\n");
    for (const dw::TFileProgram &p : file->Programs)
        std::printf("%s\n", dw::DescribeProgram(p).c_str());
    return 0;
}

int Ports(const TOptions &, const TTerminationSignals *)
{
    auto print = [](const char *what, const std::vector<std::string> &names) {
        std::printf("%s:\n", what);
        for (const std::string &n : names)
            std::printf("  %s\n", n.c_str());
    };
    try {
        print("Inputs (--from)", engine::InputDeviceNames());
        print("Outputs (--to)", engine::OutputDeviceNames());
    } catch (const std::exception &e) {
        return Fail(e.what());
    }
    return 0;
}

// Asks every free port which device answers; what it found on stdout.
int Detect(const TOptions &, const TTerminationSignals *)
{
    try {
        const engine::TSearchResult found = engine::FindDevices();
        for (const std::string &line : engine::DetectLines(found))
            std::printf("%s\n", line.c_str());
        for (const std::string &note : found.Notes)
            std::fprintf(stderr, "tavrelk-bank: %s\n", note.c_str());
        // A list that could not be read is no proof that a device is absent.
        if (!found.Error.empty())
            return Fail("the search could not ask every port: " + found.Error);
        if (found.BothFound())
            return 0;
        return Fail(found.Synths.empty() && found.Controllers.empty() ? "neither the DW-8000 nor the BCR2000 answered"
                    : found.Synths.empty()                             ? "the DW-8000 did not answer"
                                                                       : "the BCR2000 did not answer");
    } catch (const std::exception &e) {
        return Fail(e.what());
    }
}

// Progress on stderr: a bar on a terminal, a line a program otherwise.
class TProgressPrinter {
public:
    explicit TProgressPrinter(const char *verb) : FVerb(verb), FTerminal(isatty(STDERR_FILENO) == 1) {}
    void Show(int done, int total)
    {
        if (FTerminal) {
            const int width = 32, filled = total > 0 ? done * width / total : width;
            std::fprintf(stderr, "\r%s [%s%s] %d/%d", FVerb, std::string(std::size_t(filled), '#').c_str(),
                         std::string(std::size_t(width - filled), '.').c_str(), done, total);
            FOpenLine = true;
        } else {
            std::fprintf(stderr, "%s %d/%d\n", FVerb, done, total);
        }
        std::fflush(stderr);
    }
    void End()
    {
        if (FOpenLine)
            std::fputc('\n', stderr);
        FOpenLine = false;
    }

private:
    const char *FVerb;
    bool FTerminal;
    bool FOpenLine = false;
};

// The programs `send` writes, told on stderr. A file of one patch carries no
// program number, so it goes only where --program says.
bool ProgramsToSend(const TOptions &o, std::vector<dw::TFileProgram> &programs, std::string &error)
{
    const std::optional<dw::TSyxFile> file = ReadBank(o.File, error);
    if (!file)
        return false;
    if (file->Form != dw::TSyxForm::Bank) {
        if (o.Program == 0) {
            error = o.File + " holds one patch and no program number: name the program to write it to with "
                             "--program P (11-88).";
            return false;
        }
        programs = {{dw::ProgramIndex(o.Program), file->Programs[0].Data}};
        std::fprintf(stderr, "Writing the patch in %s to program %d.\n", o.File.c_str(), o.Program);
        return true;
    }
    if (o.Program != 0) {
        error = "--program is for a file of one patch; " + o.File +
                " is a bank whose programs carry their numbers (choose among them with --first and --last).";
        return false;
    }
    const int first = o.First != 0 ? dw::ProgramIndex(o.First) : 0;
    const int last = o.Last != 0 ? dw::ProgramIndex(o.Last) : dw::BankSize - 1;
    for (const dw::TFileProgram &p : file->Programs)
        if (p.Program >= first && p.Program <= last)
            programs.push_back(p);
    const std::string range = "programs " + dw::ProgramText(first) + " to " + dw::ProgramText(last);
    if (programs.empty()) {
        error = o.File + " holds none of " + range + ": nothing to write.";
        return false;
    }
    std::fprintf(stderr, "Writing %s of %s, %s.\n", Count(programs.size(), "program").c_str(), o.File.c_str(),
                 range.c_str());
    return true;
}

// Before 64 programs are fetched: the bank can be saved where it is to go.
bool CheckWritable(const std::string &path, std::string &error)
{
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = path + " is a folder: give the name of the bank file to write.";
        return false;
    }
    const std::string probe = path + ".part"; // the name the write goes through
    std::FILE *f = std::fopen(probe.c_str(), "wb");
    if (!f) {
        error = "Cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    std::remove(probe.c_str());
    return true;
}

struct TSynthPorts {
    std::string From, To;
    int Channel = 0; // 0..15
};

// The editor's settings file: --settings, else the one the editor beside
// this program uses.
QString SettingsPath(const TOptions &o)
{
    return !o.Settings.empty() ? QString::fromStdString(o.Settings)
                               : SettingsFilePath(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() +
                                                  QStringLiteral("/tavrelk"));
}

// Ports and channel from the command line, else as the session saved them.
bool ChooseSynthPorts(const TOptions &o, const engine::TSession &session, TSynthPorts &chosen, std::string &error)
{
    chosen.From = !o.From.empty() ? o.From : session.SavedDevice(engine::TRole::SynthIn).toStdString();
    chosen.To = !o.To.empty() ? o.To : session.SavedDevice(engine::TRole::SynthOut).toStdString();
    chosen.Channel = o.Channel != 0 ? o.Channel - 1 : session.SavedChannel();
    const std::string none = settingskeys::NoDevice.toStdString();
    const char *how = " (tavrelk-bank ports lists them; or choose the DW-8000 in the editor's Set Up Midi)";
    if (chosen.From == none)
        error = std::string("no MIDI input is chosen for the DW-8000: give --from PORT") + how;
    else if (chosen.To == none)
        error = std::string("no MIDI output is chosen for the DW-8000: give --to PORT") + how;
    return error.empty();
}

bool OpenSynthPorts(engine::TPortRoles &ports, const TSynthPorts &chosen, std::string &error)
{
    try {
        const int in = engine::FindDeviceName(engine::InputDeviceNames(), chosen.From);
        const int out = engine::FindDeviceName(engine::OutputDeviceNames(), chosen.To);
        if (in < 0)
            error = "no MIDI input named \"" + chosen.From + "\" (see tavrelk-bank ports, or give --from)";
        else if (out < 0)
            error = "no MIDI output named \"" + chosen.To + "\" (see tavrelk-bank ports, or give --to)";
        if (!error.empty())
            return false;
        ports.Assign(engine::TRole::SynthIn, in, chosen.From);
        ports.Assign(engine::TRole::SynthOut, out, chosen.To);
        // Without its input a transfer would only time out.
        if (!ports.IsOpen(engine::TRole::SynthIn))
            error = "cannot open the MIDI input \"" + chosen.From + "\"";
        else if (!ports.IsOpen(engine::TRole::SynthOut))
            error = "cannot open the MIDI output \"" + chosen.To + "\"";
    } catch (const std::exception &e) {
        error = e.what();
    }
    return error.empty();
}

// Runs the event loop until the transfer has ended. The first termination
// signal cancels it (the librarian may still put the selected program back,
// which takes a moment); a second one leaves at once. True when a signal
// ended the run.
bool RunToTheEnd(engine::TLibrarian &librarian, const TTerminationSignals &termination,
                 const std::optional<engine::TTransferResult> &result)
{
    bool cancelled = false;
    for (;;) {
        if (termination.Count() >= 2)
            return true;
        if (result)
            return cancelled;
        if (termination.Count() == 1 && !cancelled) {
            cancelled = true;
            librarian.Cancel(); // may end the transfer at once, with no loop running
            continue;
        }
        QCoreApplication::exec();
    }
}

int Transfer(const TOptions &o, const TTerminationSignals *termination)
{
    const bool receiving = o.Command == "receive";
    std::vector<dw::TFileProgram> programs;
    std::string error;
    if (!(receiving ? CheckWritable(o.File, error) : ProgramsToSend(o, programs, error)))
        return Fail(error);
    // The editor's session, not started: only the synthesizer's ports open,
    // and what the command line chooses is for this run, not written.
    engine::TSession session(std::make_unique<TIniSettings>(SettingsPath(o)));
    TSynthPorts chosen;
    if (!ChooseSynthPorts(o, session, chosen, error))
        return Fail(error);
    session.Editor().SetChannel(chosen.Channel);
    if (!OpenSynthPorts(session.Ports(), chosen, error))
        return Fail(error);

    TProgressPrinter printer(receiving ? "received" : "written");
    engine::TLibrarian librarian(session.Editor(), session.Ports());
    std::optional<engine::TTransferResult> result;
    QObject::connect(&librarian, &engine::TLibrarian::progress, [&](int done, int total) { printer.Show(done, total); });
    QObject::connect(&librarian, &engine::TLibrarian::finished, [&](const engine::TTransferResult &r) {
        result = r;
        QCoreApplication::exit(0); // nothing when no loop runs: RunToTheEnd looks at the result first
    });
    if (!(receiving ? librarian.ReceiveBank() : librarian.SendBank(programs)))
        return Fail("the transfer could not start");
    const bool interrupted = RunToTheEnd(librarian, *termination, result);
    printer.End();
    if (interrupted) {
        return Fail("interrupted: " + (result ? result->Message.toStdString()
                                              : std::string("stopped without waiting for the transfer to end.")),
                    128 + termination->LastSignal());
    }
    if (!result->Ok())
        return Fail(result->Message.toStdString());
    const std::string done = Count(result->Programs.size(), "program") + (receiving ? " received" : " written and confirmed");
    if (receiving && !dw::WriteFileBytes(o.File, dw::BankFileBytes(chosen.Channel, result->Programs), error))
        return Fail(done + ", but not saved: " + error);
    // The file is whole, but what was asked for is not all done: say so and fail.
    if (receiving && !o.NoLibrary && !KeepReceivedBank(result->Programs, o.File))
        return Fail(done + " and saved, but not kept in the patch library (--no-library leaves it out)");
    std::fprintf(stderr, "%s.\n", done.c_str());
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--version") {
            std::printf("tavrelk-bank %s\n", TAVRELK_VERSION_TEXT);
            return 0;
        }
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            std::printf("\nThe patch library:\n%s", LibraryUsage);
            return 0;
        }
    }
    if (const int library = LibraryCommandIndex(argc, argv)) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("tavrelk"));
        return RunLibraryCommand(argc, argv, library);
    }
    TOptions options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "tavrelk-bank: %s\n\n%s", error.c_str(), kUsage);
        return 2;
    }
    const TCommand &command = *FindCommand(options.Command);
    if (!command.UsesMidi)
        return command.Run(options, nullptr);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrelk"));
    // Held until the ports and the service are gone: a signal while they
    // close is taken too, instead of killing the process with its JACK
    // clients open (a synchronous server then stalls for the next client).
    const TTerminationSignals termination;
    const auto service = std::make_shared<platform::RtMidiService>("tavrelk-bank");
    if (!service->Unanswered().empty())
        return Fail(UnansweredText(*service));
    platform::SetCurrentMidiService(service);
    const int code = command.Run(options, &termination);
    platform::SetCurrentMidiService(nullptr);
    if (service->InputsLeftClosing() > 0)
        std::fprintf(stderr, "tavrelk-bank: the MIDI service did not answer: %s left to close\n",
                     Count(service->InputsLeftClosing(), "MIDI input").c_str());
    return code;
}
