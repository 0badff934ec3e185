// tavrelk-bank: receive, send and list DW-8000 banks from the command line,
// with the editor's own messages, files and transfers.

#include "core/Settings.h"
#include "dw/Program.h"
#include "dw/SyxFile.h"
#include "engine/DeviceSearch.h"
#include "engine/Editor.h"
#include "engine/Librarian.h"
#include "engine/PortRoles.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/MidiService.h"
#include "platform/RtMidiService.h"
#include "platform/TerminationSignals.h"
#include "setup/IniFile.h"

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
#include <unistd.h>

namespace {

const char *const kUsage =
    "Usage: tavrelk-bank [--settings FILE] COMMAND ...\n"
    "\n"
    "  receive FILE [--from PORT] [--to PORT] [--channel N]    the DW-8000's 64 programs into a bank file\n"
    "  send FILE [--from PORT] [--to PORT] [--channel N] [--first P --last P]\n"
    "                                                          a bank file's programs into the DW-8000\n"
    "  list FILE                                               what a file holds, one line a program\n"
    "  ports                                                   the MIDI ports, as the setup dialog lists them\n"
    "  detect                                                  find the DW-8000 and the BCR2000: their ports and the\n"
    "                                                          DW-8000's channel, one line each\n"
    "\n"
    "  --from PORT     the input the DW-8000's MIDI OUT reaches (default: the editor's setting)\n"
    "  --to PORT       the output to the DW-8000's MIDI IN (default: the editor's setting)\n"
    "  --channel N     the DW-8000's MIDI channel, 1-16 (default: the editor's setting)\n"
    "  --first P, --last P  the programs to send, 11-88 as the DW-8000 shows them\n"
    "  --settings FILE the editor's settings file to read the defaults from\n"
    "  --version       print the version and end\n"
    "\n"
    "Exit status 0 only when every program was received, or written and confirmed\n"
    "(detect: when both devices answered).\n";

struct TOptions {
    std::string Command, File, From, To, Settings;
    int Channel = 0;  // 1..16, 0 for the setting
    int First = 0, Last = 0; // 11..88, 0 for all
    bool NoLibrary = false;
};

int Fail(const std::string &why, int code = 1)
{
    std::fprintf(stderr, "tavrelk-bank: %s\n", why.c_str());
    return code;
}

bool ParseOptions(int argc, char **argv, TOptions &o, std::string &error)
{
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool hasValue = i + 1 < argc;
        auto number = [&](int &to, int low, int high) {
            char *end = nullptr;
            const long v = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || v < low || v > high) {
                error = a + " takes a number from " + std::to_string(low) + " to " + std::to_string(high);
                return false;
            }
            to = int(v);
            return true;
        };
        if (a == "--from" && hasValue) {
            o.From = argv[++i];
        } else if (a == "--to" && hasValue) {
            o.To = argv[++i];
        } else if (a == "--no-library" && o.Command == "receive") {
            o.NoLibrary = true;
        } else if (a == "--settings" && hasValue) {
            o.Settings = argv[++i];
        } else if (a == "--channel" && hasValue) {
            if (!number(o.Channel, 1, 16))
                return false;
        } else if ((a == "--first" || a == "--last") && hasValue) {
            if (!number(a == "--first" ? o.First : o.Last, 11, 88))
                return false;
            if (dw::ProgramIndex(a == "--first" ? o.First : o.Last) < 0) {
                error = a + " takes a program as the DW-8000 shows it, 11 to 88 (each digit 1-8)";
                return false;
            }
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
    if (o.Command.empty()) {
        error = "no command given";
        return false;
    }
    const bool needsFile = o.Command == "receive" || o.Command == "send" || o.Command == "list";
    if (!needsFile && o.Command != "ports" && o.Command != "detect") {
        error = "unknown command " + o.Command;
        return false;
    }
    if (needsFile && o.File.empty()) {
        error = o.Command + " needs a file";
        return false;
    }
    if ((o.First != 0) != (o.Last != 0) || (o.First != 0 && o.Command != "send")) {
        error = "--first and --last go together, with send";
        return false;
    }
    if (o.First != 0 && dw::ProgramIndex(o.First) > dw::ProgramIndex(o.Last)) {
        error = "--first comes after --last";
        return false;
    }
    return true;
}

std::optional<dw::TSyxFile> ReadBank(const std::string &path, std::string &error)
{
    std::vector<std::uint8_t> bytes;
    if (!dw::ReadFileBytes(path, bytes, error))
        return std::nullopt;
    dw::TSyxRead read = dw::ParseSyx(bytes);
    if (!read.Ok) {
        error = path + ": " + read.Error;
        return std::nullopt;
    }
    return read.File;
}

int List(const TOptions &o)
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

int Ports()
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
int Detect()
{
    try {
        const engine::TSearchResult found = engine::FindDevices();
        for (const std::string &line : engine::DetectLines(found))
            std::printf("%s\n", line.c_str());
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

int Transfer(const TOptions &o)
{
    std::vector<dw::TFileProgram> programs;
    std::string error;
    if (o.Command == "send") {
        const std::optional<dw::TSyxFile> file = ReadBank(o.File, error);
        if (!file)
            return Fail(error);
        for (const dw::TFileProgram &p : file->Programs) {
            if (o.First == 0 || (p.Program >= dw::ProgramIndex(o.First) && p.Program <= dw::ProgramIndex(o.Last)))
                programs.push_back(p);
        }
        if (programs.empty())
            return Fail(o.File + " holds no program in the range given");
    }

    // The editor's own settings file, beside the editor or in the user's folder.
    const QString settingsPath =
        !o.Settings.empty() ? QString::fromStdString(o.Settings)
                            : SettingsFilePath(QFileInfo(QCoreApplication::applicationFilePath()).absolutePath() +
                                               QStringLiteral("/tavrelk"));
    const TIniFile settings(settingsPath);
    const std::string from = !o.From.empty() ? o.From
                                             : settings.ReadString(settingskeys::Devices, settingskeys::SynthInput, settingskeys::NoDevice).toStdString();
    const std::string to = !o.To.empty() ? o.To : settings.ReadString(settingskeys::Devices, settingskeys::SynthOutput, settingskeys::NoDevice).toStdString();
    const int channel = o.Channel != 0 ? o.Channel - 1 : std::clamp(settings.ReadInteger(settingskeys::Synth, settingskeys::Channel, 0), 0, 15);

    engine::TPortRoles ports;
    engine::TEditor editor(ports);
    editor.SetChannel(channel);
    try {
        const int in = engine::FindDeviceName(engine::InputDeviceNames(), from);
        if (in < 0)
            return Fail("no MIDI input named \"" + from + "\" (see tavrelk-bank ports, or give --from)");
        const int out = engine::FindDeviceName(engine::OutputDeviceNames(), to);
        if (out < 0)
            return Fail("no MIDI output named \"" + to + "\" (see tavrelk-bank ports, or give --to)");
        ports.Assign(engine::TRole::SynthIn, in, from);
        ports.Assign(engine::TRole::SynthOut, out, to);
        if (!ports.IsOpen(engine::TRole::SynthOut))
            return Fail("cannot open the MIDI output \"" + to + "\"");
    } catch (const std::exception &e) {
        return Fail(e.what());
    }
    ports.SynthIn().OnMidiInput = [&editor](QObject *) { editor.SynthInput(); };

    const bool receiving = o.Command == "receive";
    TProgressPrinter printer(receiving ? "received" : "written");
    engine::TLibrarian librarian(editor, ports);
    int code = 1;
    std::string message;
    QObject::connect(&librarian, &engine::TLibrarian::progress, [&](int done, int total) { printer.Show(done, total); });
    QObject::connect(&librarian, &engine::TLibrarian::finished, [&](const engine::TTransferResult &r) {
        printer.End();
        message = r.Message.toStdString();
        code = r.Ok() ? 0 : 1;
        if (r.Ok() && receiving) {
            std::string writeError;
            if (!dw::WriteFileBytes(o.File, dw::BankFileBytes(channel, r.Programs), writeError)) {
                message = writeError;
                code = 1;
            } else if (!o.NoLibrary) {
                KeepReceivedBank(r.Programs, o.File);
            }
        }
        QCoreApplication::exit(code);
    });
    const TTerminationSignals termination;
    const bool started = receiving ? librarian.ReceiveBank() : librarian.SendBank(programs);
    if (!started)
        return Fail("the transfer could not start");
    if (!termination.Requested())
        QCoreApplication::exec();
    if (termination.Requested() && librarian.Busy()) {
        librarian.Cancel(); // the selected program is put back on the way out
        QCoreApplication::exec();
        printer.End();
        return Fail("interrupted: " + message, 130);
    }
    if (code != 0)
        return Fail(message);
    std::fprintf(stderr, "%s\n", message.c_str());
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
    if (options.Command == "list")
        return List(options);

    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tavrelk"));
    platform::SetCurrentMidiService(std::make_shared<platform::RtMidiService>("tavrelk-bank"));
    const int code = options.Command == "ports"    ? Ports()
                     : options.Command == "detect" ? Detect()
                                                   : Transfer(options);
    platform::SetCurrentMidiService(nullptr);
    return code;
}
