#include "controls/Vxgrafsw.h"
#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <QTest>

#include <memory>

namespace {

// A strip of 'count' pictures of width 'width', picture i painted in a
// colour of its own, plus 'extra' columns of white at the right.
QImage Strip(int count, int width, int height, int extra = 0)
{
    QImage strip(count * width + extra, height, QImage::Format_RGB888);
    strip.fill(Qt::white);
    for (int i = 0; i < count; ++i)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                strip.setPixel(i * width + x, y, qRgb(i * 10, 255 - i * 10, 7));
    return strip;
}

QRgb PictureColor(int i)
{
    return qRgb(i * 10, 255 - i * 10, 7);
}

class VxgrafswTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        sw = std::make_unique<Tvxgrafsw>();
        sw->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(sw.get()));
    }

    // The oscillator switch: 16 waveforms of 122 x 136.
    void LoadOscillatorStrip()
    {
        sw->SetBitmap(Strip(16, 122, 136));
        sw->SetGlyph(16);
    }

    QRgb Shown() const { return sw->GlyphBuffer().pixel(5, 5) | 0xFF000000u; }

    std::unique_ptr<Tvxgrafsw> sw;
};

} // namespace

TEST_F(VxgrafswTest, GlyphWidthOfTheWaveformStrip)
{
    sw->SetBitmap(Strip(16, 122, 136));
    sw->SetGlyph(16);
    EXPECT_EQ(sw->GetBitmapWidth(), 122);
    sw->SetGlyph(15);
    EXPECT_EQ(sw->GetBitmapWidth(), 130);
    sw->SetState(14);
    // The rightmost picture of 15 covers columns 1820..1949; the last two
    // columns of the strip are never shown.
    EXPECT_EQ(sw->GlyphBuffer().width(), 130);
    EXPECT_EQ(sw->GlyphBuffer().pixel(129, 0) | 0xFF000000u, PictureColor(15));
    EXPECT_EQ(sw->GlyphBuffer().pixel(0, 0) | 0xFF000000u, PictureColor(14));
}

TEST_F(VxgrafswTest, StateAndGlyphRules)
{
    LoadOscillatorStrip();
    sw->SetState(5);
    EXPECT_EQ(Shown(), PictureColor(5));
    sw->SetState(15);
    EXPECT_EQ(Shown(), PictureColor(15));
    sw->SetState(16); // == Glyph: out of range
    EXPECT_EQ(sw->State(), 0);
    EXPECT_EQ(Shown(), PictureColor(0));
    sw->SetState(3);
    sw->SetState(-1);
    EXPECT_EQ(sw->State(), 0);

    // A lower glyph count keeps the state; the leftmost picture shows.
    sw->SetState(12);
    sw->SetGlyph(8);
    EXPECT_EQ(sw->State(), 12);
    EXPECT_EQ(Shown(), PictureColor(0));

    for (int bad : {0, -3, 256}) {
        sw->SetGlyph(bad);
        EXPECT_EQ(sw->Glyph(), 8) << bad;
    }
    sw->SetGlyph(255);
    EXPECT_EQ(sw->Glyph(), 255);
}

TEST_F(VxgrafswTest, RepaintCounts)
{
    LoadOscillatorStrip();
    PaintCounter paints(sw.get());
    sw->SetState(0); // unchanged
    EXPECT_EQ(paints.count, 0);
    sw->SetState(-4); // out of range while 0: stores 0 and still repaints
    EXPECT_EQ(paints.count, 1);
    EXPECT_EQ(sw->State(), 0);
    sw->SetState(5);
    sw->SetState(5);
    EXPECT_EQ(paints.count, 2);
    sw->SetGlyph(16); // unchanged
    sw->SetGlyph(300); // invalid
    EXPECT_EQ(paints.count, 2);
    sw->SetAutoSize(false); // turning it off does not repaint
    EXPECT_EQ(paints.count, 2);
    sw->SetAutoSize(true);
    EXPECT_EQ(paints.count, 3);
    sw->SetBitmap(sw->Bitmap()); // no equality test
    EXPECT_EQ(paints.count, 4);
}

TEST_F(VxgrafswTest, AutoSizeTakesOnePictureOnlyWhenOn)
{
    sw->SetAutoSize(false);
    sw->SetBitmap(Strip(4, 20, 12));
    sw->SetGlyph(4);
    EXPECT_EQ(sw->size(), QSize(30, 30));
    int w = 7, h = 9;
    sw->OptimalSize(w, h);
    EXPECT_EQ(QSize(w, h), QSize(7, 9));
    // The picture sits in the top-left corner of the larger control.
    const QImage shot = sw->grab().toImage();
    EXPECT_EQ(shot.pixel(0, 0) | 0xFF000000u, PictureColor(0));
    EXPECT_EQ(shot.pixel(19, 11) | 0xFF000000u, PictureColor(0));

    sw->SetAutoSize(true);
    EXPECT_EQ(sw->size(), QSize(20, 12));
    sw->OptimalSize(w, h);
    EXPECT_EQ(QSize(w, h), QSize(20, 12));
}

TEST_F(VxgrafswTest, EmptyOrTooNarrowStripShowsNothing)
{
    sw->SetBitmap(QImage());
    EXPECT_EQ(sw->size(), QSize(30, 30)); // an empty strip leaves the size alone
    EXPECT_TRUE(sw->GlyphBuffer().isNull());

    sw->SetBitmap(Strip(1, 3, 5));
    sw->SetGlyph(4); // glyph width 3 / 4 = 0
    sw->SetState(2);
    sw->Affiche();
    EXPECT_TRUE(sw->GlyphBuffer().isNull());
}
