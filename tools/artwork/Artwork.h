#pragma once
// The editor's artwork, drawn with QPainter from the window's own design
// tables, so the pictures always fit the labels placed on them.
// Thread: the user-interface thread (needs a QGuiApplication for fonts).
// Every renderer is deterministic: the same pixels on every run.

#include <QImage>
#include <QString>
#include <QStringList>

namespace artwork {

QImage RenderBlockDiagram();  // 946 x 763, RGB (quantise with ToPalette before saving)
QImage RenderBcr2000();       // 944 x 763, RGB
QImage RenderWaveforms();     // 1952 x 136, RGB
QImage RenderDonate();        // 98 x 33, ARGB
QImage RenderIcon(int pixels = 128); // square, ARGB

// The icon sizes desktops look for, and the file each is written to
// (tavrelk.png for 128, tavrelk-N.png for the others).
constexpr int IconSizes[] = {48, 64, 128, 256};
QString IconFileName(int size);

// Turns a picture of few colours into an 8-bit palette picture: the 256 most
// used colours form the palette, every other pixel takes its nearest entry.
QImage ToPalette(const QImage &image);

// PNG header facts read back from a written file.
struct TPngInfo {
    bool Valid = false;
    int Width = 0;
    int Height = 0;
    int BitDepth = 0;
    int ColorType = 0; // 2 RGB, 3 palette, 6 RGBA
};
TPngInfo ReadPngInfo(const QString &path);

// Renders every picture into dir. Returns the file names written; on failure
// returns an empty list and sets *error.
QStringList WriteAll(const QString &dir, QString *error);

} // namespace artwork
