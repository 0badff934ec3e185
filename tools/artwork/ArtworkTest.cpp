#include "Artwork.h"
#include "ArtworkGeometry.h"

#include "core/Layout.h"
#include "dw/Params.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QImage>
#include <QSet>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

using namespace artwork;

namespace {

// The window may put the picture at (0, 0) or (1, 1) of the page: demand a
// pixel to spare on every side.
bool Holds(const QRect &outer, const QRect &inner) { return outer.contains(inner.adjusted(-1, -1, 1, 1)); }

QString Describe(const QRect &r)
{
    return QStringLiteral("(%1,%2 %3x%4)").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

const QRect kBlockPage(PictureOrigin, PictureOrigin, layout::BlockPictureWidth, layout::BlockPictureHeight);
const QRect kBcrPage(PictureOrigin, PictureOrigin, layout::BcrPictureWidth, layout::BcrPictureHeight);

} // namespace

TEST(ArtworkBlockDiagram, EveryLabelAndPictureLiesInsideItsSectionBox)
{
    QSet<QString> used;
    const std::vector<TPlacedItem> items = BlockPageItems();
    EXPECT_EQ(items.size(), 59u + 50u + 4u);
    for (const TPlacedItem &item : items) {
        const TSectionBox &box = SectionBox(item.Section);
        EXPECT_TRUE(Holds(box.Rect, item.Rect))
            << qPrintable(item.Name) << " " << qPrintable(Describe(item.Rect)) << " outside "
            << qPrintable(item.Section) << " " << qPrintable(Describe(box.Rect));
        used.insert(item.Section);
    }
    for (const TSectionBox &box : SectionBoxes())
        EXPECT_TRUE(used.contains(box.Section)) << qPrintable(box.Section) << " holds nothing";
}

TEST(ArtworkBlockDiagram, BoxesStayApartAndOnThePicture)
{
    const std::vector<TSectionBox> &boxes = SectionBoxes();
    EXPECT_EQ(boxes.size(), 12u);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        EXPECT_TRUE(kBlockPage.contains(boxes[i].Rect)) << qPrintable(boxes[i].Section);
        for (std::size_t j = i + 1; j < boxes.size(); ++j)
            EXPECT_FALSE(boxes[i].Rect.intersects(boxes[j].Rect))
                << qPrintable(boxes[i].Section) << " overlaps " << qPrintable(boxes[j].Section);
    }
}

TEST(ArtworkBlockDiagram, OwnTextNeverLiesUnderALabelOrControl)
{
    const std::vector<QRect> covered = BlockPageCovered();
    for (const TArtText &t : BlockTexts()) {
        EXPECT_TRUE(kBlockPage.contains(t.Rect)) << qPrintable(t.Text);
        for (const QRect &r : covered)
            EXPECT_FALSE(t.Rect.intersects(r)) << qPrintable(t.Text) << " under " << qPrintable(Describe(r));
    }
    // The mixer's level labels have no caption of their own: the artwork names them.
    int oscNames = 0;
    for (const TArtText &t : BlockTexts()) {
        if (t.Text == QLatin1String("Osc 1") || t.Text == QLatin1String("Osc 2")) {
            EXPECT_TRUE(Holds(SectionBox(QStringLiteral("Mixer")).Rect, t.Rect));
            ++oscNames;
        }
    }
    EXPECT_EQ(oscNames, 2);
}

TEST(ArtworkBlockDiagram, SignalLinesRunBetweenBoxesNotThroughThem)
{
    // Every arrow lands on a box's edge, or at the output's caption.
    auto onEdge = [](const QRect &box, const QPoint &pt) {
        const bool inside = box.contains(pt);
        return inside && (pt.x() == box.left() || pt.x() == box.right() || pt.y() == box.top() ||
                          pt.y() == box.bottom());
    };
    QRect out;
    for (const TArtText &t : BlockTexts()) {
        if (t.Text == QLatin1String("OUT"))
            out = t.Rect;
    }
    for (const TSignalLine &line : SignalLines()) {
        if (!line.Arrow)
            continue;
        const QPoint end = line.Points.back();
        bool lands = out.adjusted(-8, 0, 0, 0).contains(end);
        for (const TSectionBox &box : SectionBoxes())
            lands = lands || onEdge(box.Rect, end);
        EXPECT_TRUE(lands) << "arrow ending at " << end.x() << "," << end.y() << " hits no box";
    }

    // Every segment may touch a box at its ends but never cross a box's inside.
    for (const TSignalLine &line : SignalLines()) {
        for (std::size_t i = 1; i < line.Points.size(); ++i) {
            const QRect seg = QRect(line.Points[i - 1], line.Points[i]).normalized();
            for (const TSectionBox &box : SectionBoxes())
                EXPECT_FALSE(box.Rect.adjusted(1, 1, -1, -1).intersects(seg))
                    << "segment " << qPrintable(Describe(seg)) << " crosses " << qPrintable(box.Section);
        }
    }
}

TEST(ArtworkBcr, EveryControlWithAParameterHasItsLabelOverOrBesideIt)
{
    QSet<int> controllers;
    for (const TBcrControl &c : BcrControls()) {
        for (int cc : {c.Controller, c.PushController}) {
            if (cc < 0)
                continue;
            EXPECT_FALSE(controllers.contains(cc)) << "controller " << cc << " twice";
            controllers.insert(cc);
            const int row = RowOfController(cc);
            if (row < 0)
                continue;
            const TParamDesign &d = ParamDesign(row);
            const QRect label = WidestValueRect(row, d.BcrLeft, d.BcrTop);
            EXPECT_TRUE(label.left() <= c.Centre.x() && c.Centre.x() <= label.right())
                << d.LabelName << " not in the control's column";
            if (c.Kind == TBcrKind::Button) {
                EXPECT_TRUE(label.intersects(c.Body)) << d.LabelName << " not over its button";
            } else if (cc == c.PushController) {
                EXPECT_LE(label.bottom(), c.Body.top()) << d.LabelName;
                EXPECT_LE(c.Body.top() - label.bottom(), 12) << d.LabelName;
            } else {
                EXPECT_GE(label.top(), c.Body.bottom()) << d.LabelName;
                EXPECT_LE(label.top() - c.Body.bottom(), 12) << d.LabelName;
            }
        }
    }
    EXPECT_EQ(controllers.size(), 56u); // 12..67
    for (int cc = 12; cc <= 67; ++cc)
        EXPECT_TRUE(controllers.contains(cc)) << cc;
}

TEST(ArtworkBcr, NamesStayClearOfLabelsControlsAndEachOther)
{
    std::vector<TArtText> texts = BcrNameTexts();
    for (const std::vector<TArtText> &more : {BcrFrameTexts(), BcrLogoTexts(), BcrRightKeyTexts()})
        texts.insert(texts.end(), more.begin(), more.end());
    const std::vector<QRect> covered = BcrPageCovered();
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_TRUE(kBcrPage.contains(texts[i].Rect)) << qPrintable(texts[i].Text);
        for (const QRect &r : covered)
            EXPECT_FALSE(texts[i].Rect.intersects(r))
                << qPrintable(texts[i].Text) << " under " << qPrintable(Describe(r));
        for (std::size_t j = i + 1; j < texts.size(); ++j)
            EXPECT_FALSE(texts[i].Rect.intersects(texts[j].Rect))
                << qPrintable(texts[i].Text) << " overlaps " << qPrintable(texts[j].Text);
    }
    QSet<QString> words;
    for (const TArtText &t : texts)
        words.insert(t.Text);
    EXPECT_TRUE(words.contains(QStringLiteral("Random Patch")));
    EXPECT_TRUE(words.contains(QStringLiteral("Portamento")));
    EXPECT_TRUE(words.contains(QStringLiteral("Oscillators")) && words.contains(QStringLiteral("Envelopes")));
}

TEST(ArtworkBcr, FramesAtTheRightHoldTheSharedPictures)
{
    const QRect osc = OscillatorFrame();
    const QRect env = EnvelopeFrame();
    EXPECT_TRUE(kBcrPage.contains(osc));
    EXPECT_TRUE(kBcrPage.contains(env));
    EXPECT_FALSE(osc.intersects(env));
    auto bcrRect = [](const char *name) {
        const layout::TSharedControl &c = layout::SharedControl(name);
        return QRect(c.BcrLeft, c.BcrTop, c.Width, c.Height);
    };
    EXPECT_TRUE(Holds(osc, bcrRect("gOsc1")));
    EXPECT_TRUE(Holds(osc, bcrRect("gOsc2")));
    EXPECT_TRUE(Holds(env, bcrRect("VCFadsr")));
    EXPECT_TRUE(Holds(env, bcrRect("VCAadsr")));
    // Every control sits on the body, clear of the frames.
    for (const TBcrControl &c : BcrControls()) {
        EXPECT_TRUE(BcrMainBody().contains(c.Body)) << c.Controller;
        EXPECT_FALSE(c.Body.intersects(osc) || c.Body.intersects(env)) << c.Controller;
    }
    for (const QRect &key : BcrRightKeys()) {
        EXPECT_TRUE(BcrKeyColumn().contains(key));
        EXPECT_FALSE(key.intersects(osc) || key.intersects(env));
        for (const QRect &r : BcrPageCovered())
            EXPECT_FALSE(key.intersects(r)) << qPrintable(Describe(key));
    }
}

TEST(ArtworkFiles, CommittedPicturesHaveTheirSizesAndFormats)
{
    struct Expect {
        const char *name;
        int width, height, colorType;
    };
    const Expect expected[] = {
        {"blockdiagram.png", layout::BlockPictureWidth, layout::BlockPictureHeight, 3},
        {"bcr2000.png", layout::BcrPictureWidth, layout::BcrPictureHeight, 2},
        {"waveforms.png", layout::WaveStripWidth, layout::WaveStripHeight, 2},
        {"donate.png", layout::DonateWidth, layout::DonateHeight, 6},
        {"tavrelk.png", 128, 128, 6},
        {"tavrelk-48.png", 48, 48, 6},
        {"tavrelk-64.png", 64, 64, 6},
        {"tavrelk-256.png", 256, 256, 6},
    };
    for (const Expect &e : expected) {
        const QString path = QDir(QStringLiteral(TAVRELK_ASSETS_DIR)).filePath(QString::fromLatin1(e.name));
        const TPngInfo info = ReadPngInfo(path);
        ASSERT_TRUE(info.Valid) << e.name;
        EXPECT_EQ(info.Width, e.width) << e.name;
        EXPECT_EQ(info.Height, e.height) << e.name;
        EXPECT_EQ(info.BitDepth, 8) << e.name;
        EXPECT_EQ(info.ColorType, e.colorType) << e.name;
    }
    const QImage block(QDir(QStringLiteral(TAVRELK_ASSETS_DIR)).filePath(QStringLiteral("blockdiagram.png")));
    EXPECT_EQ(block.format(), QImage::Format_Indexed8);
    EXPECT_LE(block.colorCount(), 256);
}

TEST(ArtworkFiles, WriteAllProducesTheSameFilesEveryRun)
{
    QTemporaryDir a;
    QTemporaryDir b;
    QString error;
    const QStringList first = WriteAll(a.path(), &error);
    ASSERT_EQ(first.size(), 8) << qPrintable(error);
    ASSERT_EQ(WriteAll(b.path(), &error).size(), 8) << qPrintable(error);
    for (const QString &name : first) {
        QFile fa(QDir(a.path()).filePath(name));
        QFile fb(QDir(b.path()).filePath(name));
        ASSERT_TRUE(fa.open(QIODevice::ReadOnly) && fb.open(QIODevice::ReadOnly));
        EXPECT_EQ(fa.readAll(), fb.readAll()) << qPrintable(name);
    }
}

// Every size is the same drawing: the larger of it and the 128-pixel icon,
// scaled down to the smaller, matches the other closely, and the corners
// stay transparent.
TEST(ArtworkIcon, EverySizeShowsTheWholePicture)
{
    const QImage reference = RenderIcon(128);
    for (const int size : IconSizes) {
        const QImage icon = RenderIcon(size);
        ASSERT_EQ(icon.size(), QSize(size, size));
        EXPECT_EQ(qAlpha(icon.pixel(0, 0)), 0) << size;
        EXPECT_EQ(qAlpha(icon.pixel(size - 1, size - 1)), 0) << size;
        const int side = std::min(size, 128);
        const QImage a = icon.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const QImage b = reference.scaled(side, side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        long long difference = 0;
        for (int y = 0; y < side; ++y) {
            for (int x = 0; x < side; ++x) {
                const QColor pa = QColor::fromRgba(a.pixel(x, y));
                const QColor pb = QColor::fromRgba(b.pixel(x, y));
                difference += std::abs(pa.red() - pb.red()) + std::abs(pa.green() - pb.green()) +
                              std::abs(pa.blue() - pb.blue()) + std::abs(pa.alpha() - pb.alpha());
            }
        }
        // Resampling moves edge pixels only: a few levels per channel on average.
        EXPECT_LT(difference / (side * side * 4), 6) << size;
    }
}

TEST(ArtworkPalette, ManyColoursBecomeAtMost256KeepingTheCommonOnesExact)
{
    QImage rgb(64, 64, QImage::Format_RGB32);
    rgb.fill(QColor(0x1d4d63));
    for (int i = 0; i < 600; ++i) // a ramp of 600 rare colours along the top rows
        rgb.setPixel(i % 64, i / 64, qRgb(i % 256, (i * 7) % 256, 40));
    const QImage indexed = ToPalette(rgb);
    EXPECT_EQ(indexed.format(), QImage::Format_Indexed8);
    EXPECT_LE(indexed.colorCount(), 256);
    EXPECT_EQ(indexed.pixel(63, 63), QColor(0x1d4d63).rgb());
}

TEST(ArtworkFiles, ReadPngInfoRejectsWhatIsNotAPng)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("x.png"));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("GIF89a not a png at all");
    f.close();
    EXPECT_FALSE(ReadPngInfo(path).Valid);
    EXPECT_FALSE(ReadPngInfo(dir.filePath(QStringLiteral("missing.png"))).Valid);
}

TEST(ArtworkBcr, EveryParameterIsNamedAtItsControl)
{
    QSet<QString> printed;
    for (const TArtText &t : BcrNameTexts())
        printed.insert(t.Text);
    for (int row = 0; row < dw::ParamCount; ++row) {
        const TParamDesign &d = ParamDesign(row);
        if (d.LabelName[0] != '\0') {
            const char *name = dw::ParamCaption(row).Name;
            EXPECT_TRUE(printed.contains(QString::fromLatin1(name))) << name;
        }
    }
}

TEST(ArtworkBlockDiagram, PaletteKeepsThePictureAlmostExact)
{
    const QImage rgb = RenderBlockDiagram().convertToFormat(QImage::Format_RGB32);
    const QImage indexed = ToPalette(rgb);
    ASSERT_EQ(indexed.size(), rgb.size());
    int changed = 0;
    for (int y = 0; y < rgb.height(); ++y) {
        for (int x = 0; x < rgb.width(); ++x)
            changed += (rgb.pixel(x, y) != indexed.pixel(x, y));
    }
    // Only rare anti-aliasing shades may move to a neighbouring colour.
    EXPECT_LT(changed, rgb.width() * rgb.height() / 200);
}

TEST(ArtworkWaveforms, SixteenDistinctPlotsOnWhiteTheLastASine)
{
    const QImage strip = RenderWaveforms().convertToFormat(QImage::Format_RGB32);
    const int w = layout::WaveStripWidth / layout::WaveGlyphs;
    std::vector<QImage> cells;
    for (int i = 0; i < layout::WaveGlyphs; ++i) {
        cells.push_back(strip.copy(i * w, 0, w, layout::WaveStripHeight));
        EXPECT_EQ(cells.back().pixel(0, 0), qRgb(255, 255, 255)) << i;
        EXPECT_EQ(cells.back().pixel(w - 1, layout::WaveStripHeight - 1), qRgb(255, 255, 255)) << i;
        for (int j = 0; j < i; ++j)
            EXPECT_NE(cells[std::size_t(i)], cells[std::size_t(j)]) << "plots " << j + 1 << " and " << i + 1;
    }
    // Trace of the last plot: the darkest pixel of each column follows a sine.
    const QImage &sine = cells.back();
    auto traceY = [&](int x) {
        int best = -1, darkest = 256;
        for (int y = 0; y < 115; ++y) {
            const int v = qGray(sine.pixel(x, y));
            if (v < darkest) {
                darkest = v;
                best = y;
            }
        }
        return best;
    };
    const int quarter = 6 + (w - 12) / 4;
    const int threeQuarters = 6 + 3 * (w - 12) / 4;
    const int middle = 6 + (w - 12) / 2;
    EXPECT_LT(traceY(quarter), traceY(middle) - 30);       // crest above the centre line
    EXPECT_GT(traceY(threeQuarters), traceY(middle) + 30); // trough below it
    EXPECT_NEAR(traceY(quarter) + traceY(threeQuarters), 2 * traceY(middle), 3);
}

TEST(ArtworkFiles, CommittedBlockDiagramShowsTheCurrentBoxes)
{
    // Sampled where no text is drawn, so font differences do not matter: a
    // box moved in the code without regenerating assets/ shows up here.
    const QImage committed =
        QImage(QDir(QStringLiteral(TAVRELK_ASSETS_DIR)).filePath(QStringLiteral("blockdiagram.png")))
            .convertToFormat(QImage::Format_RGB32);
    const QImage fresh = ToPalette(RenderBlockDiagram()).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(committed.size(), fresh.size());
    for (const TSectionBox &box : SectionBoxes()) {
        const QRect r = box.Rect.translated(-PictureOrigin, -PictureOrigin);
        for (const QPoint &pt : {QPoint(r.left() + 5, r.bottom() - 8), QPoint(r.right() - 8, r.top() + 3),
                                 QPoint(r.left() - 1, r.top() + 20), QPoint(r.left(), r.top() + 20),
                                 QPoint(r.right(), r.bottom() - 20), QPoint(r.right() + 1, r.bottom() - 20)})
            EXPECT_EQ(committed.pixel(pt), fresh.pixel(pt)) << qPrintable(box.Section) << " at " << pt.x() << ","
                                                            << pt.y();
    }
}
