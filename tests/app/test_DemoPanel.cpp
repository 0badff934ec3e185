#include "EditorFixture.h"

#include "app/DemoPanel.h"

#include <QLabel>
#include <QPushButton>
#include <QSlider>

TEST_F(EditorFixture, DemoPanelDrivesTheSimulatorsAndTheEditorFollows)
{
    SaveSimDevices();
    Start();
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    TDemoPanel panel(*rig);
    service->ClearSentMessages();

    QPushButton *next = nullptr;
    for (QPushButton *b : panel.findChildren<QPushButton *>()) {
        if (b->text() == "Program >")
            next = b;
    }
    ASSERT_NE(next, nullptr);
    next->click();
    EXPECT_EQ(rig->Synth().Program(), 1);
    ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; })); // fetched and echoed
    EXPECT_EQ(main->ValueLabel("lBtn28")->text(), "DigitalBass");

    service->ClearSentMessages();
    QSlider *cutoff = panel.findChildren<QSlider *>().value(0);
    ASSERT_NE(cutoff, nullptr);
    cutoff->setValue(40);
    ASSERT_TRUE(WaitFor([&] { return !SentTo(Synth()).empty(); }));
    EXPECT_EQ(SentTo(Synth()).back().bytes, (Bytes{0xF0, 0x42, 0x30, 0x03, 0x41, 15, 40, 0xF7}));
}
