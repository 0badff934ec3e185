// Finding the simulated DW-8000 (on channel 16) and BCR2000 among ports that
// answer nothing or answer something else: the reusable search, and the
// setup dialog's "Find devices".

#include "EditorFixture.h"

#include "engine/DeviceSearch.h"
#include "engine/PortRoles.h"
#include "setup/DeviceFinder.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>

namespace {

class DeviceSearchTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        rig->Synth().SetChannel(15);
        silent = service->CreateDevice("Decoy that answers nothing");
        other = service->CreateDevice("Decoy that answers something else");
        std::weak_ptr<platform::VirtualMidiDevice> o = other;
        other->SetReceiver([o](const platform::SentMessage &m) {
            const auto d = o.lock();
            if (!d || m.bytes.empty() || m.bytes[0] != 0xF0)
                return;
            d->InjectSysex({0xF0, 0x7E, 0x00, 0x06, 0x02, 0x42, 0x19, 0xF7}); // a universal identity reply
            d->InjectSysex({0xF0, 0x42, 0x30, 0x19, 0xF7});                   // another Korg model
            d->InjectSysex({0xF0, 0x00, 0x20, 0x32, 0x00, 0x14, 0x21, 0x00, 0x00, 0x00, 0xF7}); // a BCL answer
        });
    }
    void TearDown() override
    {
        TDeviceFinder::SetChooser({});
        other->SetReceiver({});
        EditorFixture::TearDown();
    }

    bool DecoysClosed() const
    {
        for (const auto &d : {silent, other}) {
            if (d->IsInputOpen() || d->IsOutputOpen())
                return false;
        }
        return true;
    }
    static int Device(const std::vector<std::string> &names, const QString &name)
    {
        return engine::FindDeviceName(names, name.toStdString());
    }
    void RunFinder()
    {
        setup->bFindDevices->click();
        ASSERT_TRUE(setup->Finder->Busy());
        ASSERT_TRUE(WaitFor([this] { return !setup->Finder->Busy(); }));
        Settle(50);
    }

    std::shared_ptr<platform::VirtualMidiDevice> silent;
    std::shared_ptr<platform::VirtualMidiDevice> other;
};

} // namespace

TEST_F(DeviceSearchTest, FindsBothDevicesAmongDecoysWithTheSynthOnChannel16)
{
    const engine::TSearchResult r = engine::FindDevices();
    EXPECT_TRUE(r.BothFound());
    EXPECT_FALSE(r.Cancelled);
    EXPECT_EQ(r.Synths.size(), 1u);
    EXPECT_EQ(r.Controllers.size(), 1u);
    const std::string synth = Synth().toStdString(), ctrl = Controller().toStdString();
    EXPECT_EQ(engine::DetectLines(r),
              (std::vector<std::string>{"synth-output " + synth, "synth-input " + synth, "synth-channel 16",
                                        "controller-output " + ctrl, "controller-input " + ctrl}));
    EXPECT_TRUE(DecoysClosed());
    EXPECT_FALSE(rig->SynthDevice().IsInputOpen() || rig->SynthDevice().IsOutputOpen());
    EXPECT_FALSE(rig->ControllerDevice().IsInputOpen() || rig->ControllerDevice().IsOutputOpen());
}

TEST_F(DeviceSearchTest, FindDevicesProposesThePortsAndChannelAndAppliesThemOnYes)
{
    SaveDevices("None", "None", "None", "None");
    Start();
    Settle();
    answers.push_back(TMsgResult::Yes);
    RunFinder();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Icon, TMsgIcon::Question);
    EXPECT_TRUE(boxes[0].Text.contains(QStringLiteral("channel 16"))) << boxes[0].Text.toStdString();

    const auto ins = engine::InputDeviceNames(), outs = engine::OutputDeviceNames();
    EXPECT_EQ(setup->lbMidiOut->currentRow(), Device(outs, Synth()));
    EXPECT_EQ(setup->lbMidiIn->currentRow(), Device(ins, Synth()));
    EXPECT_EQ(setup->lbCtrlOut->currentRow(), Device(outs, Controller()));
    EXPECT_EQ(setup->lbCtrlIn->currentRow(), Device(ins, Controller()));
    EXPECT_EQ(setup->ChannelIndex(), 15);
    EXPECT_EQ(main->Editor().Channel(), 15);
    EXPECT_EQ(Setting("MidiDevices", "Output"), Synth());
    EXPECT_EQ(Setting("MidiDevices", "CtrlInput"), Controller());
    EXPECT_TRUE(main->Ports().IsOpen(engine::TRole::SynthIn));
    EXPECT_TRUE(main->Ports().IsOpen(engine::TRole::CtrlOut));
    EXPECT_TRUE(DecoysClosed());
}

TEST_F(DeviceSearchTest, AnsweringNoKeepsTheChoicesAndTheOtherDevicesPortGetsNoRequest)
{
    SaveSimDevices(); // on channel 1, which the synthesizer does not answer
    Start();
    Settle();
    service->ClearSentMessages();
    RunFinder();
    ASSERT_EQ(boxes.size(), 1u); // the proposal, answered No
    for (const platform::SentMessage &m : SentTo(Controller()))
        EXPECT_FALSE(m.bytes.size() == 4 && m.bytes[1] == 0x42) << "a DW-8000 request to the controller";
    for (const platform::SentMessage &m : SentTo(Synth()))
        EXPECT_FALSE(m.bytes.size() == 8 && m.bytes[3] == 0x32) << "an identity request to the synthesizer";
    // The roles hold and have open what they had.
    for (engine::TRole r : engine::AllRoles)
        EXPECT_TRUE(main->Ports().IsOpen(r)) << int(r);
    EXPECT_EQ(Setting("MidiDevices", "Output"), Synth());
    EXPECT_EQ(setup->ChannelIndex(), 0);
    EXPECT_TRUE(DecoysClosed());
    // And the editor still hears the controller.
    rig->Controller().TurnEncoder(44, 21);
    EXPECT_TRUE(WaitFor([this] { return main->Editor().Patch()[15] == 21; }));
}

TEST_F(DeviceSearchTest, SeveralSynthAnswersLetTheUserPick)
{
    // A second DW-8000, on channel 4, behind the decoy that answered nothing.
    std::weak_ptr<platform::VirtualMidiDevice> s = silent;
    silent->SetReceiver([s](const platform::SentMessage &m) {
        const auto d = s.lock();
        if (d && m.bytes == std::vector<std::uint8_t>{0xF0, 0x42, 0x43, 0xF7})
            d->InjectSysex({0xF0, 0x42, 0x33, 0x03, 0xF7});
    });
    SaveDevices("None", "None", "None", "None");
    Start();
    Settle();
    QStringList offered;
    TDeviceFinder::SetChooser([&offered](const QString &, const QStringList &items) {
        offered = items;
        return 1;
    });
    answers.push_back(TMsgResult::Yes);
    RunFinder();
    silent->SetReceiver({});
    ASSERT_EQ(offered.size(), 2);
    EXPECT_TRUE(offered[1].contains("channel 4")) << offered[1].toStdString();
    const auto outs = engine::OutputDeviceNames();
    EXPECT_EQ(setup->lbMidiOut->currentRow(), Device(outs, QStringLiteral("Decoy that answers nothing")));
    EXPECT_EQ(setup->ChannelIndex(), 3);
}

TEST_F(DeviceSearchTest, CancelEndsTheSearchAndChangesNothing)
{
    SaveSimDevices();
    Start();
    Settle();
    QObject::connect(&setup->Finder->Search(), &engine::TDeviceSearch::progress, setup.get(),
                     [this](int done, int, const QString &) {
                         if (done == 1)
                             setup->Finder->Search().Cancel();
                     });
    RunFinder();
    EXPECT_TRUE(setup->Finder->Search().Result().Cancelled);
    EXPECT_TRUE(boxes.empty());
    for (engine::TRole r : engine::AllRoles)
        EXPECT_TRUE(main->Ports().IsOpen(r)) << int(r);
    EXPECT_TRUE(DecoysClosed());
}

// With the real boxes: the progress window is shut before the question opens,
// and the question takes the keys (Return answers its default, Yes).
TEST_F(DeviceSearchTest, TheQuestionComesWithoutTheProgressWindowAndTakesTheKeys)
{
    SaveDevices("None", "None", "None", "None");
    Start();
    setup->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(setup.get()));
    SetMessageBoxResponder({});
    bool asked = false, progressShown = false, boxHasFocus = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
        if (box == nullptr || !box->isVisible() || asked)
            return;
        watch.stop();
        asked = true;
        for (QWidget *w : QApplication::topLevelWidgets())
            progressShown = progressShown || (qobject_cast<QProgressDialog *>(w) && w->isVisible());
        // Activation follows the show through the event loop.
        boxHasFocus = QTest::qWaitFor([box] {
            return QApplication::focusWidget() != nullptr && box->isAncestorOf(QApplication::focusWidget())
                && box->isActiveWindow();
        });
        QTest::keyClick(boxHasFocus ? QApplication::focusWidget() : box, Qt::Key_Return);
    });
    watch.start(10);
    RunFinder();
    ASSERT_TRUE(WaitFor([&] { return asked && QApplication::activeModalWidget() == nullptr; }));
    EXPECT_FALSE(progressShown);
    EXPECT_TRUE(boxHasFocus);
    EXPECT_EQ(setup->ChannelIndex(), 15); // Yes was taken
    EXPECT_EQ(Setting("MidiDevices", "Output"), Synth());
}

// An output whose close fails costs that output, not the search; an answer
// later than the wait, inside the quiet time after it, still counts for the
// output that was asked and never for the next.
TEST_F(DeviceSearchTest, CloseFailuresAndLateAnswersKeepTheSearchRight)
{
    struct Row {
        const char *name;
        bool failClose;
        std::chrono::milliseconds late;
    };
    const Row rows[] = {{"synth answers after the wait", false, std::chrono::milliseconds(150)},
                        {"first close fails", true, std::chrono::milliseconds(0)}};
    const std::string synth = Synth().toStdString(), ctrl = Controller().toStdString();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        if (row.failClose)
            service->InjectFault(platform::MidiCall::OutClose, platform::MMSYSERR_ERROR);
        if (row.late.count() > 0)
            rig->Synth().AnswerNextRequestLate(row.late);
        const engine::TSearchResult r = engine::FindDevices();
        EXPECT_TRUE(r.Error.empty()) << r.Error;
        EXPECT_EQ(r.Notes.size(), row.failClose ? 1u : 0u);
        if (!r.Notes.empty())
            EXPECT_NE(r.Notes[0].find("did not close"), std::string::npos) << r.Notes[0];
        ASSERT_EQ(r.Synths.size(), 1u);
        EXPECT_EQ(r.OutputNames[std::size_t(r.Synths[0].Output)], synth);
        EXPECT_EQ(r.Synths[0].Channel, 15);
        ASSERT_EQ(r.Controllers.size(), 1u);
        EXPECT_EQ(r.OutputNames[std::size_t(r.Controllers[0].Output)], ctrl);
    }
}

// An answer later than the wait and the quiet time after it lands while the
// next output is asked. Asked again alone, that output does not answer: the
// candidate is dropped, with a note.
TEST_F(DeviceSearchTest, AnAnswerLaterThanTheQuietTimeIsNotCreditedToTheNextOutput)
{
    const std::string synth = Synth().toStdString(), ctrl = Controller().toStdString();
    rig->Synth().AnswerNextRequestLate(std::chrono::milliseconds(300));
    const engine::TSearchResult r = engine::FindDevices();
    for (const engine::TSynthCandidate &s : r.Synths)
        EXPECT_EQ(r.OutputNames[std::size_t(s.Output)], synth) << "a late answer credited to another output";
    ASSERT_EQ(r.Controllers.size(), 1u);
    EXPECT_EQ(r.OutputNames[std::size_t(r.Controllers[0].Output)], ctrl);
    // Unless a slow machine stretched the synthesizer's own quiet time, its answer was dropped and said so.
    if (r.Synths.empty()) {
        ASSERT_EQ(r.Notes.size(), 1u);
        EXPECT_NE(r.Notes[0].find("late answer"), std::string::npos) << r.Notes[0];
        EXPECT_NE(r.Notes[0].find(synth), std::string::npos) << r.Notes[0];
    }
    EXPECT_TRUE(DecoysClosed());
}

TEST_F(DeviceSearchTest, TheSearchsNotesAreInTheFindersQuestion)
{
    SaveDevices("None", "None", "None", "None");
    Start();
    service->InjectFault(platform::MidiCall::OutClose, platform::MMSYSERR_ERROR);
    RunFinder(); // the proposal, answered No
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_TRUE(boxes[0].Text.contains(QStringLiteral("did not close"))) << boxes[0].Text.toStdString();
    EXPECT_TRUE(boxes[0].Text.endsWith(QStringLiteral("Use these?"))) << boxes[0].Text.toStdString();
}
