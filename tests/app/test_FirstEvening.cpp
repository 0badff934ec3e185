// What a new owner meets first: a fetch that gets no answer, a first run
// with nothing chosen, a long status, the window's keys and its size.

#include "EditorFixture.h"

#include "controls/ElidedLabel.h"
#include "core/Library.h"
#include "engine/Hints.h"

#include <QDir>
#include <QGuiApplication>
#include <QScreen>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include "BuildInfo.h"

namespace {

class FirstEveningTest : public EditorFixture {
protected:
    QString Status() const { return main->Library->Status->text(); }

    // The pages as the manual shows them, when tools/screenshots asks for them.
    void SaveScreenshot(const char *name) const
    {
        const QString out = qEnvironmentVariable("TAVRELK_SCREENSHOT_DIR");
        if (!out.isEmpty()) {
            QDir().mkpath(out);
            EXPECT_TRUE(main->Content->grab().save(QDir(out).filePath(QLatin1String(name))));
        }
    }

};

// The fetch at start and Get Patch: no dump in time is told, once.
TEST_F(FirstEveningTest, GetPatchSaysOnceWhenNoDumpComes)
{
    struct Case {
        const char *Name;
        std::function<void(SimDw8000 &)> Arrange;
        bool AtStart; // the start-up fetch, not Get Patch
        bool Told;    // the status says that no dump came
    };
    const Case cases[] = {
        {"answers", [](SimDw8000 &) {}, false, false},
        {"its answer is lost", [](SimDw8000 &s) { s.DropNextAnswer(); }, false, true},
        {"listens on another channel", [](SimDw8000 &s) { s.SetChannel(6); }, false, true},
        {"the start-up fetch's answer is lost", [](SimDw8000 &s) { s.DropNextAnswer(); }, true, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        if (c.AtStart) {
            c.Arrange(rig->Synth());
            SaveSimDevices();
            Start();
        } else {
            StartOnSimulator();
            c.Arrange(rig->Synth());
            main->bGetPatchClick();
        }
        ASSERT_TRUE(main->WaitingForDump());
        ASSERT_TRUE(WaitFor([&] { return !main->WaitingForDump(); }));
        EXPECT_EQ(Status() == TfMain::NoDumpText(), c.Told) << Status().toStdString();
        EXPECT_EQ(Status().endsWith(QLatin1String(engine::NoDumpHint)), c.Told);
        EXPECT_EQ(main->Editor().HasPatch(), !c.AtStart);
        Stop();
        rig->Synth().SetChannel(0);
    }
}

// Late answers: the warning shown goes when the dump comes after all.
TEST_F(FirstEveningTest, ALateDumpTakesTheWarningBack)
{
    StartOnSimulator();
    rig->Synth().AnswerNextRequestLate(std::chrono::milliseconds(TfMain::DumpWaitMs + 1000));
    SimDw8000::Patch patch = rig->Synth().CurrentPatch();
    patch[0] = std::uint8_t((patch[0] + 1) % (SimDw8000::ParameterMax(0) + 1));
    rig->Synth().SetCurrentPatch(patch);
    main->bGetPatchClick();
    ASSERT_TRUE(WaitFor([&] { return Status() == TfMain::NoDumpText(); }, 10000));
    ASSERT_TRUE(WaitFor([&] { return Status().isEmpty(); }, 10000)) << "the late dump clears it";
    EXPECT_EQ(main->Editor().Patch()[0], patch[0]);
}

TEST_F(FirstEveningTest, AFirstRunShowsDashesAndSaysWhereToBegin)
{
    Start(); // no settings file: nothing chosen
    main->show();
    EXPECT_EQ(Status(), TfMain::ChooseDevicesText());
    SaveScreenshot("tavrelk-first-run.png");
    EXPECT_FALSE(main->WaitingForDump());
    for (const TCcParam &p : main->Params) {
        if (auto *label = dynamic_cast<QLabel *>(p.ValueLabel))
            EXPECT_EQ(label->text(), "-") << label->objectName().toStdString();
    }
    // The first choice takes the advice away.
    const auto &names = main->Session().OutputNames();
    const auto synth = std::find(names.begin(), names.end(), TSimRig::SynthDeviceName);
    ASSERT_NE(synth, names.end());
    main->Session().Choose(engine::TRole::SynthOut, int(synth - names.begin()));
    EXPECT_EQ(Status(), QString());
}

TEST_F(FirstEveningTest, ALongStatusIsCutAndMovesNothing)
{
    StartOnSimulator();
    main->show();
    QToolButton *library = main->Library->Button;
    auto *status = dynamic_cast<TElidedLabel *>(main->Library->Status);
    ASSERT_NE(status, nullptr);
    const QString texts[] = {QStringLiteral("Saved a.syx"), QString(40, QLatin1Char('w')) + TfMain::NoDumpText(),
                             QString()};
    const QPoint buttonAt = library->mapTo(main.get(), QPoint());
    for (const QString &text : texts) {
        SCOPED_TRACE(text.toStdString());
        main->Library->SetStatus(text);
        QCoreApplication::processEvents();
        EXPECT_EQ(library->mapTo(main.get(), QPoint()), buttonAt);
        EXPECT_EQ(status->toolTip(), text);
        const QRect tabs = main->pgMain->tabBar()->geometry();
        EXPECT_FALSE(main->CornerBar->geometry().intersects(tabs));
        EXPECT_LE(status->fontMetrics().horizontalAdvance(status->ShownText()), status->contentsRect().width());
        EXPECT_EQ(status->ShownText() == text, status->fontMetrics().horizontalAdvance(text) <= status->width());
    }
    main->Library->SetStatus(TfMain::NoDumpText());
    EXPECT_NE(status->ShownText(), TfMain::NoDumpText()) << "too long for the room";
    SaveScreenshot("tavrelk-no-dump.png");
}

TEST_F(FirstEveningTest, CtrlQClosesAndF1ShowsTheAboutBox)
{
    StartOnSimulator();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    QTest::keyClick(main.get(), Qt::Key_F1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].Caption, "About Tavrelk");
    EXPECT_TRUE(boxes[0].Text.contains(QLatin1String(TAVRELK_VERSION_TEXT)));
    QTest::keyClick(main.get(), Qt::Key_Q, Qt::ControlModifier);
    EXPECT_FALSE(main->isVisible());
}

TEST_F(FirstEveningTest, TheWindowFitsItsScreen)
{
    struct FitCase {
        const char *Name;
        QRect Available;
        bool Fits;
    };
    const QMargins frame(4, 30, 4, 4);
    const FitCase cases[] = {
        {"1920 x 1080", {0, 0, 1920, 1050}, true},
        {"exactly", {0, 0, 952 + 8, 790 + 34}, true},
        {"1366 x 768", {0, 0, 1366, 738}, false},
        {"narrow and low", {0, 0, 800, 600}, false},
    };
    StartOnSimulator();
    const QSize design(952, 790);
    for (const FitCase &c : cases) {
        SCOPED_TRACE(c.Name);
        main->FitToScreen(c.Available, frame);
        EXPECT_EQ(main->Content->size(), design) << "the pages keep their design";
        if (c.Fits) {
            EXPECT_EQ(main->size(), design);
            EXPECT_EQ(main->minimumSize(), main->maximumSize()) << "fixed, as ever";
        } else {
            EXPECT_LE(main->width() + 8, c.Available.width());
            EXPECT_LE(main->height() + 34, c.Available.height());
            EXPECT_GE(main->maximumHeight(), design.height()) << "may be made large enough again";
        }
    }
}

TEST_F(FirstEveningTest, ThePlaceIsKeptBetweenRunsAndComesBackOnScreen)
{
    StartOnSimulator();
    main->PlaceOnScreen();
    main->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(main.get()));
    main->move(40, 50);
    QTRY_COMPARE(main->pos(), QPoint(40, 50));
    Stop();
    EXPECT_EQ(Setting("Window", "Left"), "40");
    EXPECT_EQ(Setting("Window", "Top"), "50");
    // From a screen that is gone, onto this one, whole.
    TIniFile(settingsPath).WriteInteger("Window", "Left", -3000);
    TIniFile(settingsPath).WriteInteger("Window", "Top", 5000);
    Start();
    main->PlaceOnScreen();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(main->pos()));
    EXPECT_TRUE(screen.contains(main->geometry().bottomRight()));
}

} // namespace
