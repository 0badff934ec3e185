#include "sim/SimHost.h"

#include "sim/SimMonitor.h"

#include <rtmidi/RtMidi.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace {

struct InputContext {
    class TSimHost *Host;
    bool ToSynth;
};

// RtMidi's JACK output frees its ring before it stops the client's process
// thread; a cycle that began before the port closed may still read it, so
// the closed port is kept a moment before the object goes.
void CloseOutput(std::unique_ptr<RtMidiOut> &out)
{
    if (!out)
        return;
    out->closePort();
    if (out->getCurrentApi() == RtMidi::UNIX_JACK)
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    out.reset();
}

} // namespace

struct TSimHost::Ports {
    std::unique_ptr<RtMidiOut> SynthOut, ControllerOut;
    std::unique_ptr<RtMidiIn> SynthIn, ControllerIn;
    std::mutex SynthOutMutex, ControllerOutMutex;  // RtMidiOut is not thread-safe
    InputContext SynthContext{}, ControllerContext{};

    ~Ports()
    {
        SynthIn.reset(); // nothing new is queued while the outputs go
        ControllerIn.reset();
        CloseOutput(SynthOut);
        CloseOutput(ControllerOut);
    }
};

TSimHost::TSimHost(LogFunction log) : FLog(std::move(log))
{
    FSynth.SetSend([this](std::vector<std::uint8_t> m) { Transmit(true, m); });
    FController.SetSend([this](std::vector<std::uint8_t> m) { Transmit(false, m); });
}

TSimHost::~TSimHost()
{
    {
        std::lock_guard<std::mutex> lock(FQueueMutex);
        FStopping = true;
    }
    FQueueChanged.notify_all();
    if (FWorker.joinable())
        FWorker.join();
    // Inputs close first so that nothing is queued while the outputs go.
    if (FPorts) {
        FPorts->SynthIn.reset();
        FPorts->ControllerIn.reset();
    }
    FSynth.SetSend({});
    FController.SetSend({});
}

std::string TSimHost::Open(const std::string &api)
{
    if (FPorts)
        return "the ports are open already";
    if (!api.empty()) {
        const RtMidi::Api chosen = RtMidi::getCompiledApiByName(api);
        if (chosen == RtMidi::UNSPECIFIED)
            return "unknown MIDI system \"" + api + "\"";
        return OpenOn(chosen);
    }
    // RtMidi does not fall back by itself when the first system fails to
    // start (ALSA without a sound card), so each is tried in turn.
    std::vector<RtMidi::Api> apis;
    RtMidi::getCompiledApi(apis);
    std::string failures;
    for (const RtMidi::Api a : apis) {
        if (a == RtMidi::RTMIDI_DUMMY)
            continue;
        const std::string failure = OpenOn(a);
        if (failure.empty())
            return {};
        failures += (failures.empty() ? "" : "; ") + RtMidi::getApiName(a) + ": " + failure;
    }
    return failures.empty() ? "no MIDI system compiled in" : failures;
}

std::string TSimHost::OpenOn(int api)
{
    FApi = api;
    FPorts = std::make_unique<Ports>();
    for (const bool synth : {true, false}) {
        if (std::string failure = OpenDevice(synth); !failure.empty()) {
            FPorts.reset();
            return failure;
        }
    }
    FSystem = RtMidi::getApiName(static_cast<RtMidi::Api>(api));
    // Started only now, the worker sees the ports complete; what arrived
    // meanwhile waits in the queue.
    FWorker = std::thread([this] { Deliver(); });
    return {};
}

// The output first: a device's answers may follow at once what it takes in.
std::string TSimHost::OpenDevice(bool synth)
{
    const auto chosen = static_cast<RtMidi::Api>(FApi);
    const std::string client = synth ? SynthName : ControllerName;
    std::unique_ptr<RtMidiOut> out;
    std::unique_ptr<RtMidiIn> in;
    InputContext &context = synth ? FPorts->SynthContext : FPorts->ControllerContext;
    try {
        out = std::make_unique<RtMidiOut>(chosen, client + "-out");
        out->openVirtualPort("out");
        context = {this, synth};
        in = std::make_unique<RtMidiIn>(chosen, client + "-in", 4096);
        in->ignoreTypes(false, false, false);
        in->setCallback(
            [](double, std::vector<unsigned char> *m, void *data) {
                auto *c = static_cast<InputContext *>(data);
                c->Host->Queue(c->ToSynth, std::vector<std::uint8_t>(m->begin(), m->end()));
            },
            &context);
        in->openVirtualPort("in");
    } catch (const RtMidiError &e) {
        return e.getMessage();
    }
    {
        std::lock_guard<std::mutex> lock(synth ? FPorts->SynthOutMutex : FPorts->ControllerOutMutex);
        (synth ? FPorts->SynthOut : FPorts->ControllerOut) = std::move(out);
    }
    (synth ? FPorts->SynthIn : FPorts->ControllerIn) = std::move(in);
    return {};
}

std::string TSimHost::Unplug(bool synth)
{
    if (!FPorts)
        return "the ports are not open";
    if (!Plugged(synth))
        return "unplugged already";
    // The input first, so that nothing new is queued for a device without output.
    (synth ? FPorts->SynthIn : FPorts->ControllerIn).reset();
    std::lock_guard<std::mutex> lock(synth ? FPorts->SynthOutMutex : FPorts->ControllerOutMutex);
    CloseOutput(synth ? FPorts->SynthOut : FPorts->ControllerOut);
    return {};
}

std::string TSimHost::Plug(bool synth)
{
    if (!FPorts)
        return "the ports are not open";
    if (Plugged(synth))
        return "plugged in already";
    return OpenDevice(synth);
}

bool TSimHost::Plugged(bool synth) const
{
    return FPorts && (synth ? FPorts->SynthIn : FPorts->ControllerIn) != nullptr;
}

std::vector<std::string> TSimHost::PortNames() const
{
    const std::string synth = SynthName, controller = ControllerName;
    return {synth + "-out:out", synth + "-in:in", controller + "-out:out", controller + "-in:in"};
}

void TSimHost::Queue(bool toSynth, std::vector<std::uint8_t> bytes)
{
    {
        std::lock_guard<std::mutex> lock(FQueueMutex);
        FQueue.push_back({toSynth, std::move(bytes)});
    }
    FQueueChanged.notify_one();
}

void TSimHost::Deliver()
{
    std::unique_lock<std::mutex> lock(FQueueMutex);
    for (;;) {
        FQueueChanged.wait(lock, [this] { return FStopping || !FQueue.empty(); });
        if (FStopping)
            return;
        Arrival a = std::move(FQueue.front());
        FQueue.pop_front();
        lock.unlock();
        FLog(simmonitor::MonitorLine("RX", a.ToSynth ? SynthName : ControllerName, a.Bytes));
        if (a.ToSynth)
            FSynth.Receive(std::move(a.Bytes));
        else
            FController.Receive(std::move(a.Bytes));
        lock.lock();
    }
}

void TSimHost::Transmit(bool fromSynth, const std::vector<std::uint8_t> &bytes)
{
    if (bytes.empty() || !FPorts)
        return;
    FLog(simmonitor::MonitorLine("TX", fromSynth ? SynthName : ControllerName, bytes));
    std::mutex &mutex = fromSynth ? FPorts->SynthOutMutex : FPorts->ControllerOutMutex;
    std::lock_guard<std::mutex> lock(mutex);
    RtMidiOut *out = (fromSynth ? FPorts->SynthOut : FPorts->ControllerOut).get();
    if (out == nullptr) {
        FLog(std::string("UNPLUGGED ") + (fromSynth ? SynthName : ControllerName) + " did not send");
        return;
    }
    try {
        out->sendMessage(bytes.data(), bytes.size());
    } catch (const RtMidiError &e) {
        FLog("ERROR sending: " + e.getMessage());
    }
}

const char *TSimHost::CommandHelp()
{
    return "Commands (one per line):\n"
           "  program N         select DW-8000 program N (11-88, as on the unit); sends the\n"
           "                    program change\n"
           "  cc CC VALUE [CH]  the BCR2000 sends control change CC = VALUE (channel 1-16)\n"
           "  random            press and release the random-patch button (controller 43)\n"
           "  undo, redo, mutate  press and release that user key (controller 68, 69, 70)\n"
           "  turn ENC STEPS    turn programmed encoder ENC (1-56) by STEPS (negative: down)\n"
           "  press BTN         press programmed button BTN (1-64); release BTN; click BTN\n"
           "  late MS           answer the next dump request MS milliseconds late\n"
           "  truncate BYTES    cut the next dump to BYTES bytes\n"
           "  channel CH        answer the next dump request on channel CH (1-16)\n"
           "  value CC          print the BCR2000's value of controller CC\n"
           "  patch             print the DW-8000's current patch (51 values)\n"
           "  stored N          print the DW-8000's program N (11-88) as stored (51 values)\n"
           "  protect 1|0       set the memory protect switch to WRITE DISABLE (1) or\n"
           "                    ENABLE (0)\n"
           "  writetime MS      take MS milliseconds for each write before answering it\n"
           "  replytime MS      take MS milliseconds before answering each dump request\n"
           "  drop              send no answer to the next request (dump, write or\n"
           "                    device ID);\n"
           "                    late MS delays any of these answers too\n"
           "  preset            print the name of the uploaded BCR2000 preset\n"
           "  unplug DEVICE     close the ports of DEVICE (dw8000 or bcr2000), as a pulled\n"
           "                    cable\n"
           "  plug DEVICE       open them again under the same names\n"
           "  help, quit\n";
}

std::string TSimHost::PlugCommand(const std::string &verb, std::istringstream &in, const std::string &line)
{
    std::string device, rest;
    in >> device >> rest;
    if ((device != SynthName && device != ControllerName) || !rest.empty())
        return "ERROR " + verb + " takes dw8000 or bcr2000: " + line;
    const bool synth = device == SynthName;
    const std::string failure = verb == "plug" ? Plug(synth) : Unplug(synth);
    return failure.empty() ? "OK " + verb + " " + device : "ERROR " + failure;
}

namespace {

template <typename TValues>
std::string Values(std::string s, const TValues &values)
{
    for (const std::uint8_t v : values)
        s += " " + std::to_string(v);
    return s;
}

// The program of a number as the unit shows it (11-88).
int Program(int number)
{
    const int program = SimDw8000::ProgramOfNumber(number);
    if (program < 0)
        throw std::invalid_argument("DW-8000 programs are numbered 11-88 (bank 1-8, number 1-8): "
                                    + std::to_string(number));
    return program;
}

} // namespace

const std::vector<TSimHost::TCommand> &TSimHost::Commands()
{
    using TArgs = std::vector<int>;
    static const std::vector<TCommand> commands = {
        {{"quit"}, 0, 0, [](TSimHost &, const std::string &, const TArgs &, bool &quit) -> std::string {
             quit = true;
             return "OK quit";
         }},
        {{"help"}, 0, SIZE_MAX, [](TSimHost &, const std::string &, const TArgs &, bool &) {
             return std::string(CommandHelp()) + "OK help";
         }},
        {{"program"}, 1, 1, [](TSimHost &h, const std::string &, const TArgs &a, bool &) {
             h.FSynth.SelectProgram(Program(a[0]));
             return "OK program " + std::to_string(a[0]);
         }},
        {{"cc"}, 2, 3, [](TSimHost &h, const std::string &, const TArgs &a, bool &) -> std::string {
             h.FController.TurnEncoder(a[0], a[1], a.size() == 3 ? a[2] - 1 : 0);
             return "OK cc";
         }},
        {{"random"}, 0, 0, [](TSimHost &h, const std::string &, const TArgs &, bool &) -> std::string {
             h.FController.PressRandomButton();
             h.FController.ReleaseRandomButton();
             return "OK random";
         }},
        {{"undo", "redo", "mutate"}, 0, 0, [](TSimHost &h, const std::string &verb, const TArgs &, bool &) {
             h.FController.ClickUserKey(verb == "undo"   ? SimBcr2000::UndoKeyController
                                        : verb == "redo" ? SimBcr2000::RedoKeyController
                                                         : SimBcr2000::MutateKeyController);
             return "OK " + verb;
         }},
        {{"turn"}, 2, 2, [](TSimHost &h, const std::string &, const TArgs &a, bool &) -> std::string {
             return h.FController.TurnElement(a[0], a[1]) ? "OK turn" : "ERROR encoder not programmed";
         }},
        {{"press", "release", "click"}, 1, 1, [](TSimHost &h, const std::string &verb, const TArgs &a, bool &) {
             const bool done = verb == "release" ? h.FController.ReleaseButton(a[0]) : h.FController.PressButton(a[0]);
             if (done && verb == "click")
                 h.FController.ReleaseButton(a[0]);
             return done ? "OK " + verb : std::string("ERROR button not programmed");
         }},
        {{"late"}, 1, 1, [](TSimHost &h, const std::string &, const TArgs &a, bool &) -> std::string {
             h.FSynth.AnswerNextRequestLate(std::chrono::milliseconds(a[0]));
             return "OK late";
         }},
        {{"truncate"}, 1, 1, [](TSimHost &h, const std::string &, const TArgs &a, bool &) -> std::string {
             if (a[0] < 0)
                 return {};
             h.FSynth.AnswerNextRequestTruncated(std::size_t(a[0]));
             return "OK truncate";
         }},
        {{"channel"}, 1, 1, [](TSimHost &h, const std::string &, const TArgs &a, bool &) -> std::string {
             h.FSynth.AnswerNextRequestOnChannel(a[0] - 1);
             return "OK channel";
         }},
        {{"value"}, 1, 2, [](TSimHost &h, const std::string &, const TArgs &a, bool &) {
             const auto v = h.FController.Value(a.size() == 2 ? a[1] - 1 : 0, a[0]);
             return "OK value " + (v ? std::to_string(*v) : std::string("none"));
         }},
        {{"patch"}, 0, 0, [](TSimHost &h, const std::string &, const TArgs &, bool &) {
             return Values("OK patch", h.FSynth.CurrentPatch());
         }},
        {{"stored"}, 1, 1, [](TSimHost &h, const std::string &, const TArgs &a, bool &) {
             return Values("OK stored " + std::to_string(a[0]), h.FSynth.ProgramPatch(Program(a[0])));
         }},
        {{"protect"}, 1, 1, [](TSimHost &h, const std::string &, const TArgs &a, bool &) -> std::string {
             if (a[0] != 0 && a[0] != 1)
                 return {};
             h.FSynth.SetWriteProtect(a[0] == 1);
             return a[0] == 1 ? "OK protect on" : "OK protect off";
         }},
        {{"writetime", "replytime"}, 1, 1, [](TSimHost &h, const std::string &verb, const TArgs &a, bool &) {
             if (a[0] < 0)
                 return std::string();
             if (verb == "writetime")
                 h.FSynth.SetWriteTime(std::chrono::milliseconds(a[0]));
             else
                 h.FSynth.SetReplyTime(std::chrono::milliseconds(a[0]));
             return "OK " + verb;
         }},
        {{"drop"}, 0, 0, [](TSimHost &h, const std::string &, const TArgs &, bool &) -> std::string {
             h.FSynth.DropNextAnswer();
             return "OK drop";
         }},
        {{"preset"}, 0, 0, [](TSimHost &h, const std::string &, const TArgs &, bool &) {
             const auto p = h.FController.Preset();
             return p ? "OK preset '" + p->Name + "'" : std::string("OK preset none");
         }},
    };
    return commands;
}

std::string TSimHost::LoadBank(const std::string &path)
{
    std::error_code error;
    if (std::filesystem::is_directory(path, error))
        return "cannot read " + path + ": it is a folder";
    errno = 0;
    const int stored = FSynth.LoadBankFile(path);
    if (stored < 0)
        return "cannot read " + path + ": " + (errno != 0 ? std::strerror(errno) : "read error");
    if (stored == 0)
        return "no DW-8000 programs in " + path;
    return {};
}

std::string TSimHost::Command(const std::string &line, bool &quit)
{
    std::istringstream in(line);
    std::string verb;
    if (!(in >> verb))
        return {};
    if (verb == "unplug" || verb == "plug")
        return PlugCommand(verb, in, line);
    std::vector<int> args;
    int a = 0;
    while (in >> a)
        args.push_back(a);
    if (!in.eof())
        return "ERROR arguments must be whole numbers: " + line;
    try {
        for (const TCommand &c : Commands()) {
            const bool named = std::find(c.Verbs.begin(), c.Verbs.end(), verb) != c.Verbs.end();
            if (!named || args.size() < c.MinArgs || args.size() > c.MaxArgs)
                continue;
            if (std::string answer = c.Run(*this, verb, args, quit); !answer.empty())
                return answer;
        }
    } catch (const std::invalid_argument &e) {
        return std::string("ERROR ") + e.what();
    }
    return "ERROR unknown command (try help): " + line;
}
