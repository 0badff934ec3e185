#include "platform/Colors.h"

#include <QGuiApplication>
#include <QPalette>
#include <gtest/gtest.h>

TEST(Colors, RgbLayoutIsRedInTheLowByte)
{
    EXPECT_EQ(ToQColor(clNavy), QColor(0, 0, 128));
    EXPECT_EQ(ToQColor(0x05B157), QColor(87, 177, 5));
    EXPECT_EQ(FromQColor(QColor(40, 40, 101)), 0x652828u);
    EXPECT_EQ(ColorToRGB(0x12345678u & 0x7FFFFFFFu), 0x345678u);
}

TEST(Colors, SystemColoursComeFromTheApplicationPalette)
{
    QPalette pal = QGuiApplication::palette();
    pal.setColor(QPalette::Active, QPalette::Button, QColor(1, 2, 3));
    const QPalette old = QGuiApplication::palette();
    QGuiApplication::setPalette(pal);
    EXPECT_EQ(ColorToRGB(clBtnFace), RGBColor(1, 2, 3));
    EXPECT_EQ(ColorToRGB(clSystemColor | 200), clBlack); // no such system colour
    QGuiApplication::setPalette(old);
}
