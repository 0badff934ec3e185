#include "platform/Colors.h"

#include <QGuiApplication>
#include <QPalette>

namespace {

struct SystemColor {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
    TColor classic; // used when no application palette exists
};

// Windows system colour indices mapped to the nearest palette role.
constexpr SystemColor kSystemColors[] = {
    {QPalette::Active, QPalette::Mid, 0xC8C8C8},              // scroll bar
    {QPalette::Active, QPalette::Dark, 0x808000},             // desktop
    {QPalette::Active, QPalette::Highlight, 0x800000},        // active caption
    {QPalette::Inactive, QPalette::Highlight, 0x808080},      // inactive caption
    {QPalette::Active, QPalette::Window, 0xC0C0C0},           // menu
    {QPalette::Active, QPalette::Base, 0xFFFFFF},             // window
    {QPalette::Active, QPalette::Shadow, 0x000000},           // window frame
    {QPalette::Active, QPalette::WindowText, 0x000000},       // menu text
    {QPalette::Active, QPalette::Text, 0x000000},             // window text
    {QPalette::Active, QPalette::HighlightedText, 0xFFFFFF},  // caption text
    {QPalette::Active, QPalette::Window, 0xC0C0C0},           // active border
    {QPalette::Inactive, QPalette::Window, 0xC0C0C0},         // inactive border
    {QPalette::Active, QPalette::Dark, 0x808080},             // app work space
    {QPalette::Active, QPalette::Highlight, 0x800000},        // highlight
    {QPalette::Active, QPalette::HighlightedText, 0xFFFFFF},  // highlight text
    {QPalette::Active, QPalette::Button, 0xC0C0C0},           // button face
    {QPalette::Active, QPalette::Dark, 0x808080},             // button shadow
    {QPalette::Disabled, QPalette::Text, 0x808080},           // grey text
    {QPalette::Active, QPalette::ButtonText, 0x000000},       // button text
    {QPalette::Inactive, QPalette::HighlightedText, 0xC0C0C0},// inactive caption text
    {QPalette::Active, QPalette::Light, 0xFFFFFF},            // button highlight
    {QPalette::Active, QPalette::Shadow, 0x000000},           // 3D dark shadow
    {QPalette::Active, QPalette::Midlight, 0xDFDFDF},         // 3D light
    {QPalette::Active, QPalette::ToolTipText, 0x000000},      // info text
    {QPalette::Active, QPalette::ToolTipBase, 0xE1FFFF},      // info background
};

} // namespace

TColor ColorToRGB(TColor color)
{
    if ((color & clSystemColor) == 0)
        return color & 0x00FFFFFFu;
    const unsigned index = color & 0xFFu;
    if (index >= std::size(kSystemColors))
        return clBlack;
    const SystemColor &sc = kSystemColors[index];
    if (qobject_cast<QGuiApplication *>(QCoreApplication::instance()) == nullptr)
        return sc.classic;
    return FromQColor(QGuiApplication::palette().color(sc.group, sc.role));
}

QColor ToQColor(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    return QColor(GetRValue(rgb), GetGValue(rgb), GetBValue(rgb));
}

TColor FromQColor(const QColor &color)
{
    const QColor c = color.toRgb();
    return RGBColor(std::uint8_t(c.red()), std::uint8_t(c.green()), std::uint8_t(c.blue()));
}
