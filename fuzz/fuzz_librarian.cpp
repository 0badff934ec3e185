// The librarian's answer handling under any interleaving: a unit whose
// answers the input delivers, drops or holds back past the time-outs, other
// devices' messages between them, and cancels. Whatever happens, a finished
// receive holds only programs exactly as the unit holds them (or it failed),
// and a send reports only programs the unit stored.

#include "dw/Program.h"
#include "engine/DeviceNames.h"
#include "engine/Editor.h"
#include "engine/Librarian.h"
#include "engine/PortRoles.h"
#include "midi/MidiIn.h"
#include "platform/VirtualMidiService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>

namespace {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// The unit: answers each request once, in order, when the input says so.
struct Unit {
    std::mutex mutex;
    std::array<dw::TDataBlock, dw::BankSize> programs{};
    dw::TDataBlock editBuffer{};
    int program = 0;
    std::deque<Bytes> answers; // owed, oldest first

    void Receive(const Bytes &m)
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (m.size() == 2 && m[0] == 0xC0 && m[1] < dw::BankSize) {
            program = m[1];
            editBuffer = programs[std::size_t(program)];
        } else if (m == Bytes{0xF0, 0x42, 0x30, 0x03, 0x10, 0xF7}) {
            Bytes dump{0xF0, 0x42, 0x30, 0x03, 0x40};
            dump.insert(dump.end(), editBuffer.begin(), editBuffer.end());
            dump.push_back(0xF7);
            answers.push_back(dump);
        } else if (m.size() == 57 && m[4] == 0x40) {
            std::copy(m.begin() + 5, m.end() - 1, editBuffer.begin());
        } else if (m.size() == 7 && m[4] == 0x11 && m[5] < dw::BankSize) {
            programs[m[5]] = editBuffer;
            answers.push_back({0xF0, 0x42, 0x30, 0x03, 0x21, 0xF7});
        }
    }
    std::optional<Bytes> Next()
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (answers.empty())
            return std::nullopt;
        Bytes b = answers.front();
        answers.pop_front();
        return b;
    }
};

struct Rig {
    std::shared_ptr<platform::VirtualMidiService> service = std::make_shared<platform::VirtualMidiService>();
    std::shared_ptr<platform::VirtualMidiDevice> device;
    Unit unit;
    std::unique_ptr<engine::TPortRoles> ports;
    std::unique_ptr<engine::TEditor> editor;

    Rig()
    {
        platform::SetCurrentMidiService(service);
        device = service->CreateDevice("DW-8000");
        device->SetReceiver([this](const platform::SentMessage &m) { unit.Receive(m.bytes); });
        for (int p = 0; p < dw::BankSize; ++p)
            unit.programs[std::size_t(p)].fill(std::uint8_t(p)); // each program told apart
        ports = std::make_unique<engine::TPortRoles>();
        editor = std::make_unique<engine::TEditor>(*ports);
        ports->Assign(engine::TRole::SynthIn, engine::FindDeviceName(engine::InputDeviceNames(), "DW-8000"), "DW-8000");
        ports->Assign(engine::TRole::SynthOut, engine::FindDeviceName(engine::OutputDeviceNames(), "DW-8000"), "DW-8000");
        editor->SetChannel(0);
        if (!ports->IsOpen(engine::TRole::SynthIn) || !ports->IsOpen(engine::TRole::SynthOut))
            std::abort();
    }
};

Rig *rig = nullptr;

void Turn(int ms) { QCoreApplication::processEvents(QEventLoop::AllEvents, ms); }

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    static QCoreApplication app(*argc, *argv);
    static Rig r;
    rig = &r;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    {
        std::lock_guard<std::mutex> lock(rig->unit.mutex);
        rig->unit.answers.clear();
    }
    engine::TLibrarian librarian(*rig->editor, *rig->ports);
    librarian.SetTimings({2ms, 2ms, 0ms, 0ms, 2, 2ms});
    std::optional<engine::TTransferResult> result;
    QObject::connect(&librarian, &engine::TLibrarian::finished,
                     [&result](const engine::TTransferResult &r) { result = r; });
    const bool receive = in.ConsumeBool();
    const int first = in.ConsumeIntegralInRange(0, dw::BankSize - 1);
    const int last = std::min(dw::BankSize - 1, first + in.ConsumeIntegralInRange(0, 5));
    std::vector<dw::TFileProgram> sent;
    if (receive) {
        Check(librarian.ReceiveBank(first, last));
    } else {
        for (int p = first; p <= last; ++p) {
            dw::TDataBlock b;
            b.fill(std::uint8_t(0x40 + p % 0x40));
            sent.push_back({p, b});
        }
        Check(librarian.SendBank(sent));
    }
    while (in.remaining_bytes() > 0 && !result) {
        switch (in.ConsumeIntegralInRange(0, 5)) {
        case 0: // the owed answer arrives
            if (const auto a = rig->unit.Next())
                rig->device->InjectSysex(*a);
            break;
        case 1: // it is lost
            rig->unit.Next();
            break;
        case 2: { // another device, or another channel
            Bytes b = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 60));
            for (auto &x : b)
                x &= 0x7F;
            b.insert(b.begin(), 0xF0);
            if (in.ConsumeBool() && b.size() > 4) {
                b[1] = 0x42;
                b[2] = std::uint8_t(0x31 + in.ConsumeIntegralInRange(0, 14)); // not channel 1
            }
            b.push_back(0xF7);
            rig->device->InjectSysex(b);
            break;
        }
        case 3:
            rig->device->InjectShort(std::uint8_t(0x80 | in.ConsumeIntegral<std::uint8_t>()),
                                     in.ConsumeIntegral<std::uint8_t>() & 0x7F, 0);
            break;
        case 4: // time passes: time-outs and quiet windows run out
            Turn(in.ConsumeIntegralInRange(0, 4));
            break;
        case 5:
            if (in.ConsumeIntegralInRange(0, 7) == 0)
                librarian.Cancel();
            break;
        }
        Turn(0);
    }
    // The unit then answers everything owed, at once or never, until the end.
    const bool answersRest = in.ConsumeBool();
    QElapsedTimer t;
    t.start();
    while (!result && t.elapsed() < 5000) {
        if (const auto a = rig->unit.Next(); a && answersRest)
            rig->device->InjectSysex(*a);
        Turn(1);
    }
    Check(result.has_value());
    Check(!librarian.Busy() && !rig->editor->TransferRunning());
    for (const dw::TFileProgram &p : result->Programs) {
        Check(p.Program >= first && p.Program <= last);
        if (receive)
            Check(p.Data == rig->unit.programs[std::size_t(p.Program)]);
        else
            Check(rig->unit.programs[std::size_t(p.Program)] == sent[std::size_t(p.Program - first)].Data);
    }
    if (receive && result->Ok())
        Check(int(result->Programs.size()) == last - first + 1);
    // Let stray answers of this run pass before the next.
    for (int i = 0; i < 5; ++i)
        Turn(1);
    return 0;
}
