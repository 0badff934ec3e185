#pragma once
// The whole editor in one process for a benchmark: the virtual MIDI backend
// with the simulated DW-8000 and BCR2000, the devices saved in a settings
// file of a temporary folder, every message box answered alike.

#include "core/Main.h"
#include "core/MessageBoxes.h"
#include "engine/IniSettings.h"
#include "platform/IniFile.h"
#include "platform/VirtualMidiService.h"
#include "setup/MidiSetup.h"
#include "sim/SimRig.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <chrono>
#include <functional>
#include <memory>

class TBenchRig {
public:
    using Clock = std::chrono::steady_clock;

    // withController: the BCR2000's ports are saved too; answer: every box's answer.
    explicit TBenchRig(bool withController = true, TMsgResult answer = TMsgResult::Ok)
    {
        platform::SetCurrentMidiService(service);
        TSimRig::LoadDemoPrograms(rig.Synth());
        TIniFile f(ini);
        f.WriteString(settingskeys::Devices, settingskeys::SynthInput, QLatin1String(TSimRig::SynthDeviceName));
        f.WriteString(settingskeys::Devices, settingskeys::SynthOutput, QLatin1String(TSimRig::SynthDeviceName));
        if (withController) {
            f.WriteString(settingskeys::Devices, settingskeys::CtrlInput, QLatin1String(TSimRig::ControllerDeviceName));
            f.WriteString(settingskeys::Devices, settingskeys::CtrlOutput, QLatin1String(TSimRig::ControllerDeviceName));
        }
        SetMessageBoxResponder([answer](const TMessageBoxRequest &) { return answer; });
    }
    ~TBenchRig()
    {
        setup.reset();
        main.reset();
        platform::SetCurrentMidiService(nullptr);
        SetMessageBoxResponder({});
    }

    // Creates the windows, which open the ports and ask for the patch.
    void Open()
    {
        main = std::make_unique<TfMain>(std::make_unique<TIniSettings>(ini));
        setup = std::make_unique<TfMidiSetup>(main->Session());
    }

    static void RunUntil(const std::function<bool()> &done, std::chrono::seconds limit = std::chrono::seconds(30))
    {
        const Clock::time_point end = Clock::now() + limit;
        while (!done() && Clock::now() < end)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }

    QTemporaryDir dir;
    const QString ini = dir.filePath(QStringLiteral("tavrelk.INI"));
    std::shared_ptr<platform::VirtualMidiService> service = std::make_shared<platform::VirtualMidiService>();
    TSimRig rig{*service};
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfMidiSetup> setup;
};
