// The setup dialog as seen on a desktop: its fixed colours hold under a dark
// theme, and the list that has the keyboard shows which entry it is on.

#include "EditorFixture.h"

#include <QApplication>
#include <QListWidget>
#include <QGroupBox>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest/QTest>

#include <cstdlib>

namespace {

class SetupDialogTest : public EditorFixture {
protected:
    void SetUp() override
    {
        EditorFixture::SetUp();
        FOldPalette = QApplication::palette();
    }
    void TearDown() override
    {
        EditorFixture::TearDown();
        QApplication::setPalette(FOldPalette);
    }
    // A dark desktop theme: dark bases and buttons, light text.
    static void UseDarkTheme()
    {
        QPalette dark;
        dark.setColor(QPalette::Window, QColor(0x20, 0x20, 0x20));
        dark.setColor(QPalette::Base, QColor(0x10, 0x10, 0x10));
        dark.setColor(QPalette::Button, QColor(0x30, 0x30, 0x30));
        dark.setColor(QPalette::Text, QColor(0xE0, 0xE0, 0xE0));
        dark.setColor(QPalette::ButtonText, QColor(0xE0, 0xE0, 0xE0));
        dark.setColor(QPalette::WindowText, QColor(0xE0, 0xE0, 0xE0));
        QApplication::setPalette(dark);
    }
    // The colour in the middle of a list entry's left margin.
    static QColor EntryGround(QListWidget *list, int row)
    {
        const QImage shot = list->viewport()->grab().toImage();
        const QRect r = list->visualItemRect(list->item(row));
        return shot.pixelColor(r.left() + 2, r.center().y());
    }
    // Within what anti-aliasing at an edge may mix in.
    static bool Near(const QColor &a, const QColor &b)
    {
        return std::abs(a.red() - b.red()) < 40 && std::abs(a.green() - b.green()) < 40 && std::abs(a.blue() - b.blue()) < 40;
    }
    QPalette FOldPalette;
};

} // namespace

TEST_F(SetupDialogTest, NavyTextKeepsItsLightGroundUnderADarkTheme)
{
    UseDarkTheme();
    SaveSimDevices();
    Start();
    setup->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(setup.get()));
    for (QListWidget *list : {setup->lbMidiIn, setup->lbMidiOut, setup->lbCtrlIn, setup->lbCtrlOut}) {
        SCOPED_TRACE(list->objectName().toStdString());
        const QImage shot = list->viewport()->grab().toImage();
        // Below the last entry: the list's own ground.
        const QColor ground = shot.pixelColor(shot.width() / 2, shot.height() - 3);
        EXPECT_GT(ground.lightnessF(), 0.9) << ground.name().toStdString();
    }
}

TEST_F(SetupDialogTest, TheListWithTheKeyboardShowsItsEntryInYellow)
{
    SaveSimDevices();
    Start();
    setup->show();
    setup->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(setup.get()));
    setup->lbMidiOut->setFocus();
    ASSERT_TRUE(WaitFor([this] { return setup->lbMidiOut->hasFocus(); }));
    const QColor focused = EntryGround(setup->lbMidiOut, setup->lbMidiOut->currentRow());
    const QColor other = EntryGround(setup->lbMidiIn, setup->lbMidiIn->currentRow());
    EXPECT_TRUE(Near(focused, QColor(0xFF, 0xFF, 0x00))) << focused.name().toStdString();
    EXPECT_TRUE(Near(other, QColor(0x00, 0x00, 0x80))) << other.name().toStdString();
    // Tab moves the mark with the keyboard.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_FALSE(setup->lbMidiOut->hasFocus());
    EXPECT_TRUE(Near(EntryGround(setup->lbMidiOut, setup->lbMidiOut->currentRow()), QColor(0x00, 0x00, 0x80)));
}

TEST_F(SetupDialogTest, TabFollowsTheLayout)
{
    Start();
    QWidget *channel1 = setup->rgMidiChan->findChildren<QRadioButton *>().value(0);
    QWidget *channel16 = setup->rgMidiChan->findChildren<QRadioButton *>().value(15);
    const std::pair<QWidget *, QWidget *> steps[] = {
        {setup->lbMidiIn, setup->lbMidiOut}, {setup->lbMidiOut, setup->lbCtrlIn},
        {setup->lbCtrlIn, setup->lbCtrlOut}, {setup->lbCtrlOut, channel1},
        {channel16, setup->bLoadBCR},        {setup->bLoadBCR, setup->bFindDevices},
        {setup->bFindDevices, setup->bbOK},
    };
    // The next widget Tab can reach (the lists' own parts take no tab).
    auto next = [](QWidget *w) {
        QWidget *n = w->nextInFocusChain();
        while (n != w && (n->focusPolicy() & Qt::TabFocus) == 0)
            n = n->nextInFocusChain();
        return n;
    };
    for (const auto &[from, to] : steps) {
        SCOPED_TRACE(from->objectName().toStdString());
        EXPECT_EQ(next(from), to) << next(from)->objectName().toStdString();
    }
}
