#include "sim/SimRig.h"

namespace {

using Message = std::vector<std::uint8_t>;

// Sends a simulator's message into the editor's input as a driver would.
void Inject(const std::weak_ptr<platform::VirtualMidiDevice> &device, const Message &m)
{
    const auto d = device.lock();
    if (!d || m.empty())
        return;
    if (m[0] == 0xF0) {
        d->InjectSysex(m);
        // A message cut off before its F7 comes back as it is, as a driver
        // returns a sysex broken off by the sender.
        if (m.back() != 0xF7)
            d->InjectBufferFlush();
    } else
        d->InjectShort(m[0], m.size() > 1 ? m[1] : 0, m.size() > 2 ? m[2] : 0);
}

} // namespace

TSimRig::TSimRig(platform::VirtualMidiService &service)
    : FSynth(std::make_shared<SimDw8000>(0)), FController(std::make_shared<SimBcr2000>())
{
    FSynthDevice = service.CreateDevice(SynthDeviceName);
    FControllerDevice = service.CreateDevice(ControllerDeviceName);

    std::weak_ptr<platform::VirtualMidiDevice> synthDevice = FSynthDevice;
    std::weak_ptr<platform::VirtualMidiDevice> controllerDevice = FControllerDevice;
    FSynth->SetSend([synthDevice](Message m) { Inject(synthDevice, m); });
    FController->SetSend([controllerDevice](Message m) { Inject(controllerDevice, m); });

    // The receivers keep the simulators alive while a delivery is under way.
    std::shared_ptr<SimDw8000> synth = FSynth;
    std::shared_ptr<SimBcr2000> controller = FController;
    FSynthDevice->SetReceiver([synth](const platform::SentMessage &m) { synth->Receive(m.bytes); });
    FControllerDevice->SetReceiver(
        [controller](const platform::SentMessage &m) { controller->Receive(m.bytes); });
}

TSimRig::~TSimRig()
{
    FSynthDevice->SetReceiver({});
    FControllerDevice->SetReceiver({});
    FSynth->SetSend({});
    FController->SetSend({});
}

void TSimRig::LoadDemoPrograms(SimDw8000 &synth)
{
    // Parameter order of the DW-8000 dump, 0..50.
    using P = SimDw8000::Patch;
    static const P kPrograms[] = {
        // Warm strings: brass&strings + organ, slow attack, mild chorus delay.
        {1, 0, 28, 0, 0, 6, 10, 1, 9, 22, 0, 3, 0, 0, 16, 34, 4, 2, 0, 14,
         14, 18, 20, 12, 22, 16, 2, 12, 16, 26, 12, 26, 18, 3, 0, 18, 8, 2, 0,
         2, 0, 3, 10, 6, 12, 8, 9, 0, 1, 1, 2},
        // Punchy bass: digital bass, fast filter envelope, unison.
        {0, 13, 31, 0, 0, 0, 0, 0, 12, 24, 0, 2, 0, 2, 9, 22, 14, 1, 0, 22,
         0, 10, 6, 12, 4, 6, 3, 0, 12, 20, 14, 24, 4, 4, 0, 10, 0, 0, 0,
         2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2},
        // Electric piano with tremolo delay.
        {1, 3, 30, 1, 1, 4, 6, 1, 4, 12, 0, 1, 0, 0, 20, 40, 2, 1, 0, 12,
         0, 18, 10, 16, 8, 14, 4, 0, 20, 8, 18, 6, 14, 5, 0, 20, 10, 0, 0,
         2, 0, 4, 8, 4, 16, 20, 8, 0, 0, 1, 1},
        // Sync-like lead: saxophone + violin a fifth up, portamento.
        {1, 8, 31, 2, 0, 8, 12, 1, 9, 26, 4, 2, 2, 3, 12, 30, 20, 2, 0, 16,
         4, 16, 24, 20, 28, 12, 2, 2, 10, 28, 18, 28, 10, 3, 1, 24, 12, 6, 0,
         2, 1, 2, 6, 8, 10, 12, 10, 14, 2, 2, 1},
        // Bell pad with inverted filter envelope.
        {2, 14, 24, 0, 0, 0, 0, 1, 15, 20, 2, 4, 0, 1, 18, 44, 6, 3, 1, 10,
         2, 24, 14, 22, 10, 20, 1, 2, 26, 10, 22, 8, 24, 2, 0, 12, 6, 0, 0,
         0, 0, 5, 12, 10, 20, 14, 11, 0, 0, 0, 0},
        // Organ with whistle, percussive.
        {1, 6, 29, 0, 0, 0, 0, 0, 15, 18, 0, 0, 0, 0, 15, 50, 0, 3, 0, 4,
         0, 20, 8, 24, 26, 4, 0, 0, 28, 4, 30, 31, 4, 0, 0, 22, 10, 4, 0,
         0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    int program = 0;
    for (int i = 0; i < SimDw8000::ProgramCount; ++i)
        synth.SetProgramPatch(i, kPrograms[std::size_t(i) % std::size(kPrograms)]);
    synth.SelectProgram(program);
}
