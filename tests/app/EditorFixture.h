#pragma once
// The whole editor in-process: the virtual MIDI backend with the simulated
// DW-8000 and BCR2000, a settings file in a temporary folder, and every
// message box answered by the test.

#include "core/Main.h"
#include "core/MessageBoxes.h"
#include "dw/Messages.h"
#include "dw/Params.h"
#include "engine/IniSettings.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/IniFile.h"
#include "platform/VirtualMidiService.h"
#include "setup/MidiSetup.h"
#include "sim/SimRig.h"

#include "../common/WaitFor.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <functional>
#include <memory>

// What the synthesizer took before a marker sent after everything else (a
// program change to 128, which it ignores): proves what did not come.
inline std::vector<std::vector<std::uint8_t>> TookBeforeMarker(SimDw8000 &synth, TMidiOutput &out)
{
    const std::vector<std::uint8_t> marker{0xC0, 0x7F};
    out.PutShort(0xC0, 0x7F, 0);
    EXPECT_TRUE(WaitFor([&] {
        const auto r = synth.Received();
        return !r.empty() && r.back() == marker;
    }));
    auto r = synth.Received();
    r.pop_back();
    return r;
}

class EditorFixture : public ::testing::Test {
protected:
    using Bytes = std::vector<std::uint8_t>;

    void SetUp() override
    {
        service = std::make_shared<platform::VirtualMidiService>();
        platform::SetCurrentMidiService(service);
        rig = std::make_unique<TSimRig>(*service);
        TSimRig::LoadDemoPrograms(rig->Synth());
        settingsPath = dir.filePath(QStringLiteral("tavrelk.INI"));
        SetMessageBoxResponder([this](const TMessageBoxRequest &r) {
            boxes.push_back(r);
            if (answers.empty())
                return r.Buttons == TMsgButtons::YesNo ? TMsgResult::No : TMsgResult::Ok;
            const TMsgResult a = answers.front();
            answers.pop_front();
            return a;
        });
    }

    void TearDown() override
    {
        Stop();
        rig.reset();
        platform::SetCurrentMidiService(nullptr);
        SetMessageBoxResponder({});
    }

    void SaveDevices(const QString &in, const QString &out, const QString &ctrlIn, const QString &ctrlOut)
    {
        TIniFile ini(settingsPath);
        ini.WriteString("MidiDevices", "Input", in);
        ini.WriteString("MidiDevices", "Output", out);
        ini.WriteString("MidiDevices", "CtrlInput", ctrlIn);
        ini.WriteString("MidiDevices", "CtrlOutput", ctrlOut);
    }

    void SaveSimDevices()
    {
        SaveDevices(Synth(), Synth(), Controller(), Controller());
    }

    static QString Synth() { return QLatin1String(TSimRig::SynthDeviceName); }
    static QString Controller() { return QLatin1String(TSimRig::ControllerDeviceName); }

    void Start()
    {
        main = std::make_unique<TfMain>(std::make_unique<TIniSettings>(settingsPath));
        setup = std::make_unique<TfMidiSetup>(main->Session());
    }

    // The editor on the simulators, once the start-up fetch is in.
    void StartOnSimulator()
    {
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([&] { return main->Editor().HasPatch(); }, 30000)) << "the start-up fetch";
    }

    void Stop()
    {
        setup.reset();
        main.reset();
    }

    QString Setting(const char *section, const char *key) const
    {
        return TIniFile(settingsPath).ReadString(section, key, QStringLiteral("<missing>"));
    }


    // Lets everything in flight arrive.
    static void Settle(int ms = 150) { WaitFor([] { return false; }, ms); }

    // A marker for "nothing else came": fetches a patch whose last row
    // differs and waits for that row's echo, a dump's last. Whatever a fault
    // sent lies before the marker's one request and 50 echoes.
    static constexpr std::size_t MarkerEchoes = dw::ParamCount - 1;
    void FetchMarker()
    {
        constexpr int kLast = dw::ParamCount - 1;
        SimDw8000::Patch patch = rig->Synth().CurrentPatch();
        patch[kLast] = std::uint8_t((patch[kLast] + 1) % (SimDw8000::ParameterMax(kLast) + 1));
        rig->Synth().SetCurrentPatch(patch);
        const auto echo = dw::BuildRowEcho(kLast, patch[kLast]);
        ASSERT_TRUE(echo);
        const std::size_t before = SentTo(Controller()).size();
        main->bGetPatchClick();
        // The undo key's light may follow the last echo: a fetch is a step.
        ASSERT_TRUE(WaitFor([&] {
            const auto sent = SentTo(Controller());
            const auto last = std::find_if(sent.rbegin(), sent.rend(), [](const platform::SentMessage &m) {
                return m.bytes.size() != 3 || (m.bytes[1] != dw::UndoController && m.bytes[1] != dw::RedoController);
            });
            return sent.size() >= before + MarkerEchoes && last != sent.rend()
                && last->bytes == Bytes(echo->begin(), echo->end());
        })) << "the marker's dump was not echoed";
    }

    std::vector<platform::SentMessage> SentTo(const QString &device) const
    {
        std::vector<platform::SentMessage> out;
        for (const platform::SentMessage &m : service->SentMessages()) {
            if (QString::fromStdString(m.device) == device)
                out.push_back(m);
        }
        return out;
    }

    bool SawBox(const QString &text) const
    {
        for (const TMessageBoxRequest &b : boxes) {
            if (b.Text == text)
                return true;
        }
        return false;
    }

    QTemporaryDir dir;
    QString settingsPath;
    std::shared_ptr<platform::VirtualMidiService> service;
    std::unique_ptr<TSimRig> rig;
    std::unique_ptr<TfMain> main;
    std::unique_ptr<TfMidiSetup> setup;
    std::vector<TMessageBoxRequest> boxes;
    std::deque<TMsgResult> answers;
};
