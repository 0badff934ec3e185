#include "Artwork.h"
#include "ArtworkPaint.h"

#include "core/Layout.h"

#include <QDir>
#include <QFile>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QtMath>
#include <algorithm>
#include <unordered_map>
#include <utility>
#include <vector>

namespace artwork {

QImage RenderDonate()
{
    QImage image(layout::DonateWidth, layout::DonateHeight, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setRenderHint(QPainter::TextAntialiasing, true);
    const QRectF face(1, 1, layout::DonateWidth - 2.5, layout::DonateHeight - 2.5);
    QLinearGradient g(face.topLeft(), face.bottomLeft());
    g.setColorAt(0, QColor(0xffdf7e));
    g.setColorAt(1, QColor(0xf2a81d));
    p.setBrush(g);
    p.setPen(QPen(QColor(0xb87808), 1.2));
    p.drawRoundedRect(face, 10, 10);
    p.setPen(QColor(0x142c5c));
    p.setFont(ArtFont(16, true));
    p.drawText(face, Qt::AlignCenter, QStringLiteral("Donate"));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage RenderIcon(int pixels)
{
    // Drawn on a 128-unit grid and scaled, so every size shows the same picture.
    constexpr int size = 128;
    QImage image(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.scale(qreal(pixels) / size, qreal(pixels) / size);
    QLinearGradient g(0, 0, 0, size);
    g.setColorAt(0, QColor(0x24456a));
    g.setColorAt(1, QColor(0x101c2c));
    p.setBrush(g);
    p.setPen(QPen(QColor(0x6f93b5), 2));
    p.drawRoundedRect(QRectF(3, 3, size - 6, size - 6), 22, 22);
    // An encoder with its LED ring: the controller as the synth's panel.
    const QPointF centre(64, 60);
    constexpr int leds = 13;
    for (int i = 0; i < leds; ++i) {
        const qreal angle = qDegreesToRadians(225.0 - i * 270.0 / (leds - 1));
        const QPointF pt(centre.x() + 38 * std::cos(angle), centre.y() - 38 * std::sin(angle));
        p.setPen(Qt::NoPen);
        p.setBrush(i < 9 ? QColor(0xff8c1a) : QColor(0x4a3525));
        p.drawEllipse(pt, 4.2, 4.2);
    }
    QRadialGradient k(centre - QPointF(8, 8), 36);
    k.setColorAt(0, QColor(0x777a80));
    k.setColorAt(1, QColor(0x1c1d20));
    p.setBrush(k);
    p.setPen(QPen(QColor(0x0a0a0b), 1.5));
    p.drawEllipse(centre, 27, 27);
    const qreal angle = qDegreesToRadians(225.0 - 8 * 270.0 / 12);
    const QPointF dir(std::cos(angle), -std::sin(angle));
    p.setPen(QPen(QColor(0xffe14a), 4, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + dir * 8, centre + dir * 24);
    p.setPen(QColor(0xffe14a));
    p.setFont(ArtFont(20, true));
    p.drawText(QRectF(0, 98, size, 24), Qt::AlignCenter, QStringLiteral("DW"));
    p.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage ToPalette(const QImage &image)
{
    const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
    std::unordered_map<QRgb, int> counts;
    for (int y = 0; y < rgb.height(); ++y) {
        const QRgb *line = reinterpret_cast<const QRgb *>(rgb.constScanLine(y));
        for (int x = 0; x < rgb.width(); ++x)
            ++counts[line[x] | 0xff000000u];
    }
    std::vector<std::pair<QRgb, int>> byUse(counts.begin(), counts.end());
    // Ties broken by colour value, so the palette never depends on hash order.
    std::sort(byUse.begin(), byUse.end(), [](const auto &a, const auto &b) {
        return a.second != b.second ? a.second > b.second : a.first < b.first;
    });
    if (byUse.size() > 256)
        byUse.resize(256);
    QList<QRgb> table;
    for (const auto &entry : byUse)
        table.append(entry.first);
    std::sort(table.begin(), table.end());
    return rgb.convertToFormat(QImage::Format_Indexed8, table, Qt::ThresholdDither | Qt::AvoidDither);
}

QString IconFileName(int size)
{
    return size == 128 ? QStringLiteral("tavrelk.png") : QStringLiteral("tavrelk-%1.png").arg(size);
}

TPngInfo ReadPngInfo(const QString &path)
{
    TPngInfo info;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return info;
    const QByteArray head = f.read(26);
    static const char signature[] = "\x89PNG\r\n\x1a\n";
    if (head.size() < 26 || !head.startsWith(QByteArray(signature, 8)) || head.mid(12, 4) != "IHDR")
        return info;
    auto be32 = [&](int at) {
        return (int(quint8(head[at])) << 24) | (int(quint8(head[at + 1])) << 16) |
               (int(quint8(head[at + 2])) << 8) | int(quint8(head[at + 3]));
    };
    info.Width = be32(16);
    info.Height = be32(20);
    info.BitDepth = quint8(head[24]);
    info.ColorType = quint8(head[25]);
    info.Valid = true;
    return info;
}

QStringList WriteAll(const QString &dir, QString *error)
{
    struct Output {
        QString Name;
        QImage Image;
        int ColorType;
    };
    std::vector<Output> outputs = {
        {QStringLiteral("blockdiagram.png"), ToPalette(RenderBlockDiagram()), 3},
        {QStringLiteral("bcr2000.png"), RenderBcr2000().convertToFormat(QImage::Format_RGB888), 2},
        {QStringLiteral("waveforms.png"), RenderWaveforms().convertToFormat(QImage::Format_RGB888), 2},
        {QStringLiteral("donate.png"), RenderDonate(), 6},
        {QStringLiteral("tavrelk.png"), RenderIcon(), 6},
    };
    for (const int size : IconSizes) {
        if (size != 128) // tavrelk.png is the 128-pixel one
            outputs.push_back({IconFileName(size), RenderIcon(size), 6});
    }
    QStringList written;
    for (const Output &out : outputs) {
        const QString path = QDir(dir).filePath(out.Name);
        if (!out.Image.save(path, "PNG")) {
            *error = QStringLiteral("cannot write %1").arg(path);
            return {};
        }
        const TPngInfo info = ReadPngInfo(path);
        if (!info.Valid || info.ColorType != out.ColorType || info.BitDepth != 8) {
            *error = QStringLiteral("%1 was not written in the expected PNG format").arg(path);
            return {};
        }
        written << out.Name;
    }
    return written;
}

} // namespace artwork
