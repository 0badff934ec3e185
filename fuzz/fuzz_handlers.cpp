// The main window's controller and synthesizer input handlers fed any
// sequence of short messages and sysex events, through the virtual backend
// and the real ports, on any synthesizer channel.

#include "core/Main.h"
#include "core/MessageBoxes.h"
#include "engine/IniSettings.h"
#include "midi/MidiIn.h"
#include "platform/IniFile.h"
#include "platform/VirtualMidiService.h"
#include "setup/MidiSetup.h"

#include <QApplication>
#include <QDir>
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <memory>
#include <unistd.h>

namespace {

struct Editor {
    std::shared_ptr<platform::VirtualMidiService> service = std::make_shared<platform::VirtualMidiService>();
    std::shared_ptr<platform::VirtualMidiDevice> synth, controller;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfMidiSetup> setup;

    Editor()
    {
        platform::SetCurrentMidiService(service);
        synth = service->CreateDevice("DW-8000");
        controller = service->CreateDevice("BCR2000");
        const QString dir = QDir::temp().filePath(QStringLiteral("tavrelk-fuzz-handlers-%1").arg(getpid()));
        QDir().mkpath(dir);
        const QString ini = QDir(dir).filePath(QStringLiteral("tavrelk.INI"));
        TIniFile f(ini);
        f.WriteString("MidiDevices", "Input", "DW-8000");
        f.WriteString("MidiDevices", "Output", "DW-8000");
        f.WriteString("MidiDevices", "CtrlInput", "BCR2000");
        f.WriteString("MidiDevices", "CtrlOutput", "BCR2000");
        SetMessageBoxResponder([](const TMessageBoxRequest &) { return TMsgResult::Ok; });
        main = std::make_unique<TfMain>(std::make_unique<TIniSettings>(ini));
        setup = std::make_unique<TfMidiSetup>(main->Session());
        main->Editor().SetPause({}); // the pause after each shown row only slows the search
        if (main->MidiSynthToPC->State() != misOpen || main->MidiBCtoPC->State() != misOpen)
            std::abort();
    }
};

Editor *editor = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QApplication *app = new QApplication(*argc, *argv);
    (void)app;
    // Neither is destroyed: at exit Qt's list of database connections is gone
    // before the editor's patch library could close its own.
    editor = new Editor;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    TfMain &main = *editor->main;
    editor->setup->SetChannelIndex(in.ConsumeIntegralInRange(0, 15));
    while (in.remaining_bytes() > 0) {
        switch (in.ConsumeIntegralInRange(0, 4)) {
        case 0: {
            const auto status = in.ConsumeIntegral<std::uint8_t>();
            const auto d1 = in.ConsumeIntegral<std::uint8_t>();
            // Now and then a data byte of 0x80 or more, as a faulty interface sends.
            const auto mask = std::uint8_t(in.ConsumeBool() ? 0xFF : 0x7F);
            editor->controller->InjectShort(status, d1 & mask, in.ConsumeIntegral<std::uint8_t>() & mask);
            break;
        }
        case 1: {
            const auto status = in.ConsumeIntegral<std::uint8_t>();
            const auto d1 = in.ConsumeIntegral<std::uint8_t>();
            editor->synth->InjectShort(status, d1 & 0x7F, in.ConsumeIntegral<std::uint8_t>() & 0x7F);
            break;
        }
        case 2: {
            // A sysex from the synthesizer; often a dump header so that the
            // parse is reached, otherwise any bytes (longer ones split over buffers).
            std::vector<std::uint8_t> bytes;
            if (in.ConsumeBool())
                bytes = {0xF0, 0x42, std::uint8_t(0x30 | in.ConsumeIntegralInRange(0, 15)), 0x03, 0x40};
            const std::vector<std::uint8_t> rest = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 5000));
            bytes.insert(bytes.end(), rest.begin(), rest.end());
            if (in.ConsumeBool())
                bytes.push_back(0xF7);
            editor->synth->InjectSysex(bytes);
            break;
        }
        case 3: {
            const std::vector<std::uint8_t> bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange(0, 300));
            editor->controller->InjectSysex(bytes);
            break;
        }
        case 4:
            main.MidiBCtoPCMidiInput(main.MidiBCtoPC);
            main.MidiSynthToPCMidiInput(main.MidiSynthToPC);
            break;
        }
    }
    QCoreApplication::processEvents();
    main.MidiBCtoPCMidiInput(main.MidiBCtoPC);
    main.MidiSynthToPCMidiInput(main.MidiSynthToPC);
    for (const TCcParam &p : main.Params) {
        if (p.Value < 0 || p.Value > 127)
            std::abort();
    }
    // Nothing sent may carry a status byte after its first (a sysex: before its F7).
    for (const platform::SentMessage &m : editor->service->SentMessages()) {
        const std::size_t end = m.isLong && !m.bytes.empty() ? m.bytes.size() - 1 : m.bytes.size();
        for (std::size_t i = 1; i < end; ++i) {
            if (m.bytes[i] >= 0x80)
                std::abort();
        }
    }
    editor->service->ClearSentMessages();
    return 0;
}
