#include "EditorFixture.h"

#include "controls/Vxadsr2.h"
#include "controls/Vxgrafsw.h"
#include "controls/Wall.h"
#include "core/Layout.h"

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QTabBar>
#include <QToolButton>

namespace {

class DisplayTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        SaveSimDevices();
        Start();
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    }

    // A dump of the synthesizer's current patch with some bytes changed,
    // delivered as the synthesizer would send it; waits for its echoes.
    void Dump(std::initializer_list<std::pair<int, int>> changes)
    {
        SimDw8000::Patch patch = rig->Synth().CurrentPatch();
        for (const auto &[p, v] : changes)
            patch[std::size_t(p)] = std::uint8_t(v);
        Bytes d = {0xF0, 0x42, 0x30, 0x03, 0x40};
        d.insert(d.end(), patch.begin(), patch.end());
        d.push_back(0xF7);
        service->ClearSentMessages();
        rig->SynthDevice().InjectSysex(d);
        ASSERT_TRUE(WaitFor([&] { return SentTo(Controller()).size() >= 50; }));
    }

    void Move(int controller, int value)
    {
        service->ClearSentMessages();
        rig->Controller().TurnEncoder(controller, value);
        ASSERT_TRUE(WaitFor([&] { return !SentTo(Synth()).empty(); }));
    }
};

} // namespace

TEST_F(DisplayTest, EnvelopeSlotsFromADumpRunTimesBackwards)
{
    Dump({{20, 0}, {24, 12}, {27, 31}});
    EXPECT_EQ(main->VCFadsr->GetValue(0), 31);
    EXPECT_EQ(main->VCFadsr->GetValue(5), 12);
    EXPECT_EQ(main->VCAadsr->GetValue(0), 0);
    Dump({{20, 31}});
    EXPECT_EQ(main->VCFadsr->GetValue(0), 0);
}

TEST_F(DisplayTest, EnvelopeSlotsFromTheControllerAreCutToFiveBits)
{
    Move(65, 40); // amplifier release, unclamped on this road
    EXPECT_EQ(main->VCAadsr->GetValue(6), 9);
    Move(65, 63);
    EXPECT_EQ(main->VCAadsr->GetValue(6), 0);
    Move(64, 7); // amplifier sustain: a level, shown as it is
    EXPECT_EQ(main->VCAadsr->GetValue(5), 7);
}

TEST_F(DisplayTest, PolarityIsAppliedOncePerChange)
{
    Dump({{18, 1}});
    EXPECT_EQ(main->VCFadsr->GetValue(7), 31);
    EXPECT_EQ(main->VCFadsr->GetValue(1), 0);
    EXPECT_EQ(main->ValueLabel("lBtn33")->text(), "Invert");
    main->VCFadsr->SetValue(5, 7); // a mark the rule would overwrite
    Dump({{18, 1}});
    EXPECT_EQ(main->VCFadsr->GetValue(7), 5);
    Dump({{18, 0}});
    EXPECT_EQ(main->VCFadsr->GetValue(7), 0);
    EXPECT_EQ(main->VCFadsr->GetValue(1), 31);
    EXPECT_EQ(main->LastPolarity(), 0);
}

TEST_F(DisplayTest, OscillatorTwoWaveFifteenShowsTheOrganWhistle)
{
    Dump({{8, 15}});
    EXPECT_EQ(main->gOsc2->State(), 15);
    EXPECT_EQ(main->ValueLabel("lBtn36")->text(), "Org Whistle");
}

TEST_F(DisplayTest, PageSwitchMovesTheSharedControlsAndRestoresThem)
{
    std::map<QWidget *, QPoint> before;
    for (const TCcParam &p : main->Params) {
        if (p.ValueLabel != nullptr)
            before[dynamic_cast<QWidget *>(p.ValueLabel)] = dynamic_cast<QWidget *>(p.ValueLabel)->pos();
    }
    ASSERT_EQ(before.size(), 50u);
    const QPoint captionPos = main->CaptionLabels().front()->pos();

    main->pgMain->setCurrentWidget(main->tsBCR);
    for (const TCcParam &p : main->Params) {
        auto *w = dynamic_cast<QWidget *>(p.ValueLabel);
        if (w == nullptr)
            continue;
        EXPECT_EQ(w->parentWidget(), main->Wallpaper2);
        EXPECT_EQ(w->pos(), QPoint(p.BcrLeft, p.BcrTop));
    }
    for (const layout::TSharedControl &c : layout::SharedControls()) {
        QWidget *w = main->findChild<QWidget *>(QLatin1String(c.Name));
        ASSERT_NE(w, nullptr) << c.Name;
        EXPECT_EQ(w->parentWidget(), main->Wallpaper2) << c.Name;
        EXPECT_EQ(w->pos(), QPoint(c.BcrLeft, c.BcrTop)) << c.Name;
    }
    for (QLabel *caption : main->CaptionLabels())
        EXPECT_EQ(caption->parentWidget(), main->Wallpaper1);

    main->pgMain->setCurrentWidget(main->tsBlock);
    for (const auto &[w, pos] : before) {
        EXPECT_EQ(w->parentWidget(), main->Wallpaper1);
        EXPECT_EQ(w->pos(), pos);
    }
    for (const layout::TSharedControl &c : layout::SharedControls())
        EXPECT_EQ(main->findChild<QWidget *>(QLatin1String(c.Name))->pos(), QPoint(c.DiagLeft, c.DiagTop));
    EXPECT_EQ(main->CaptionLabels().front()->pos(), captionPos);
}

TEST_F(DisplayTest, HiddenButtonsStayHiddenAcrossPages)
{
    main->sbDonate->hide();
    main->pgMain->setCurrentWidget(main->tsBCR);
    EXPECT_TRUE(main->sbDonate->isHidden());
    EXPECT_FALSE(main->bGetPatch->isHidden());
}

TEST_F(DisplayTest, WindowCaptionsAndLabelsAreAsDesigned)
{
    EXPECT_EQ(main->windowTitle(), "BCR2000 to Korg DW 8000");
    EXPECT_EQ(main->size(), QSize(952, 790));
    EXPECT_EQ(main->pgMain->tabText(0), "Block Diag.");
    EXPECT_EQ(main->pgMain->tabText(1), "BCR Layout");
    EXPECT_EQ(main->pgMain->currentWidget(), main->tsBlock);
    EXPECT_EQ(main->bGetPatch->text(), "Get Patch From DW8000");
    EXPECT_EQ(main->bGetPatch->toolTip(), "Get patch from DW6000");
    EXPECT_EQ(main->bMidiSetup->toolTip(), "Get patch from DW6000");
    EXPECT_EQ(main->sbDonate->toolTip(),
              "If you would like to help pay for the development of this program, that would be great");

    ASSERT_EQ(main->CaptionLabels().size(), 59u);
    const QStringList headers = {" Oscillator 1 ", " Oscillator 2 ", "Mod Gen (LFO)", " Mixer ",
                                 " Voltage Controller Filter ", "  VCF Envelope ",
                                 "  Voltage Controlled Amplifier  ", "  VCA Envelope ", " Bend ",
                                 " Auto Bend ", " Delay"};
    const QPoint headerPos[] = {{57, 118}, {47, 338}, {307, 15}, {273, 190}, {389, 194}, {403, 377},
                                {671, 261}, {669, 374}, {244, 351}, {236, 506}, {593, 17}};
    for (int i = 0; i < headers.size(); ++i) {
        EXPECT_EQ(main->CaptionLabels()[std::size_t(i)]->text(), headers[i]);
        EXPECT_EQ(main->CaptionLabels()[std::size_t(i)]->pos(), headerPos[i]);
    }
    // Each other caption ends just left of its value label, on its line, and fits its text.
    for (const layout::TCaptionLabel &c : layout::CaptionLabels()) {
        if (c.ValueLabel.isEmpty())
            continue;
        QLabel *caption = main->CaptionLabel(c.Name);
        QLabel *value = main->ValueLabel(c.ValueLabel);
        ASSERT_TRUE(caption && value) << c.Name.toStdString();
        EXPECT_EQ(caption->text(), c.Caption);
        EXPECT_LE(caption->geometry().right(), value->x()) << c.Name.toStdString();
        EXPECT_GE(caption->x(), 0);
        EXPECT_GE(caption->width(), caption->fontMetrics().horizontalAdvance(c.Caption));
        EXPECT_GT(caption->y(), value->y() - 4);
        EXPECT_LT(caption->y(), value->y() + 4);
    }
}

TEST_F(DisplayTest, ValueLabelsAreBoldYellowOnNavyAndSizeToTheirText)
{
    QLabel *wave = main->ValueLabel("lBtn28");
    EXPECT_TRUE(wave->font().bold());
    EXPECT_EQ(wave->font().pixelSize(), 16);
    EXPECT_EQ(wave->height(), 20);
    EXPECT_EQ(wave->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    EXPECT_EQ(wave->palette().color(QPalette::Window), QColor(0, 0, 128));
    Dump({{1, 4}});
    EXPECT_EQ(wave->text(), "E Pno(Hard)");
    EXPECT_EQ(wave->width(), wave->fontMetrics().horizontalAdvance("E Pno(Hard)"));
    EXPECT_TRUE(wave->alignment() & Qt::AlignHCenter);
    EXPECT_FALSE(main->ValueLabel("lEnc44")->alignment() & Qt::AlignHCenter);
}

TEST_F(DisplayTest, WhatTheCornerBarHoldsLeavesThePagesInPlace)
{
    // The same tab widget without the corner bar gives the pages' design place.
    QTabWidget bare;
    bare.setFont(layout::PageFont());
    bare.addTab(new QWidget, QStringLiteral("Block Diag."));
    bare.addTab(new QWidget, QStringLiteral("BCR Layout"));
    bare.setGeometry(main->pgMain->geometry());
    bare.show();
    main->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(main->tsBlock->geometry(), bare.widget(0)->geometry());
    EXPECT_EQ(main->tsBlock->mapTo(main->pgMain, QPoint(0, 0)), bare.widget(0)->mapTo(&bare, QPoint(0, 0)));
    EXPECT_LE(main->CornerBar->height(), main->pgMain->tabBar()->height());
}
