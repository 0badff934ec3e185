// The setup dialog as seen on a desktop: colours and keys.

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
    // The colour in the middle of the current entry's left margin.
    static QColor EntryGround(QListWidget *list)
    {
        const QImage shot = list->viewport()->grab().toImage();
        const QRect r = list->visualItemRect(list->currentItem());
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

// Under a dark desktop theme the lists keep their light ground for the navy
// text, and the list with the keyboard shows its entry in yellow.
TEST_F(SetupDialogTest, ListsKeepTheirColoursUnderADarkThemeAndTheFocusedOneIsYellow)
{
    QPalette dark;
    for (const auto role : {QPalette::Window, QPalette::Base, QPalette::Button})
        dark.setColor(role, QColor(0x20, 0x20, 0x20));
    for (const auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        dark.setColor(role, QColor(0xE0, 0xE0, 0xE0));
    QApplication::setPalette(dark);
    SaveSimDevices();
    Start();
    setup->show();
    setup->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(setup.get()));
    for (QListWidget *list : {setup->lbMidiIn, setup->lbMidiOut, setup->lbCtrlIn, setup->lbCtrlOut}) {
        SCOPED_TRACE(list->objectName().toStdString());
        const QImage shot = list->viewport()->grab().toImage();
        // Below the last entry: the list's own ground.
        const QColor ground = shot.pixelColor(shot.width() / 2, shot.height() - 3);
        EXPECT_GT(ground.lightnessF(), 0.9) << ground.name().toStdString();
    }
    // The main window's buttons too keep a light face for their navy text.
    for (QPushButton *b : {main->bGetPatch, main->bMidiSetup}) {
        const QImage face = b->grab().toImage();
        int light = 0; // most of a face is its ground, not its text
        for (int y = 0; y < face.height(); ++y)
            for (int x = 0; x < face.width(); ++x)
                light += face.pixelColor(x, y).lightnessF() > 0.8;
        EXPECT_GT(light, face.width() * face.height() / 2) << b->objectName().toStdString();
    }
    setup->lbMidiOut->setFocus();
    ASSERT_TRUE(WaitFor([this] { return setup->lbMidiOut->hasFocus(); }));
    const QColor focused = EntryGround(setup->lbMidiOut);
    const QColor other = EntryGround(setup->lbMidiIn);
    EXPECT_TRUE(Near(focused, QColor(0xFF, 0xFF, 0x00))) << focused.name().toStdString();
    EXPECT_TRUE(Near(other, QColor(0x00, 0x00, 0x80))) << other.name().toStdString();
    // Tab moves the mark with the keyboard.
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    ASSERT_FALSE(setup->lbMidiOut->hasFocus());
    EXPECT_TRUE(Near(EntryGround(setup->lbMidiOut), QColor(0x00, 0x00, 0x80)));
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
