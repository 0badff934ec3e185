#include "controls/Vxadsr2.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <array>
#include <memory>

namespace {

using Points = std::array<QPoint, Tvxadsr2::kMarkerCount>;
using Slots = std::array<int, Tvxadsr2::kSlotCount>;

constexpr Slots kExample = {5, 31, 1, 20, 31, 10, 10, 0};

// Counts paint events of one widget.
class PaintCounter : public QObject
{
public:
    explicit PaintCounter(QWidget *w) { w->installEventFilter(this); }
    int count = 0;

protected:
    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

TColor At(const QImage &image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return RGBColor(std::uint8_t(qRed(p)), std::uint8_t(qGreen(p)), std::uint8_t(qBlue(p)));
}

void SetSlots(Tvxadsr2 &g, const Slots &values)
{
    for (int i = 0; i < Tvxadsr2::kSlotCount; ++i)
        g.SetValue(values[std::size_t(i)], i);
}

Slots GetSlots(const Tvxadsr2 &g)
{
    Slots s{};
    for (int i = 0; i < Tvxadsr2::kSlotCount; ++i)
        s[std::size_t(i)] = g.GetValue(i);
    return s;
}

// The filter envelope graph as the main window configures it.
void ConfigureFilterGraph(Tvxadsr2 &g)
{
    g.resize(186, 121);
    g.SetMax(32);
    g.SetLineColor(clTeal);
    g.SetGradientColor(0x652828);
    g.SetGradientEnabled(true);
    g.SetFillEnabled(true);
    g.SetAlwayDetect(true);
    g.SetShowVLines(true);
    g.SetGradientNbOfColors(64);
    g.SetGradientType(gr2TopToBottom);
    g.SetMarkerColor(clAqua);
    g.SetMarkerSize(3);
    g.SetColor(clBlack);
}

class Vxadsr2Test : public ::testing::Test
{
protected:
    void SetUp() override
    {
        graph = std::make_unique<Tvxadsr2>();
        graph->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(graph.get()));
    }

    void ShowFilterGraph()
    {
        ConfigureFilterGraph(*graph);
        SetSlots(*graph, kExample);
        graph->repaint();
    }

    // Press on 'from', move through each point, release at the last one.
    void Drag(QPoint from, std::initializer_list<QPoint> moves)
    {
        QTest::mousePress(graph.get(), Qt::LeftButton, {}, from);
        QPoint last = from;
        for (const QPoint &p : moves) {
            QTest::mouseMove(graph.get(), p);
            last = p;
        }
        QTest::mouseRelease(graph.get(), Qt::LeftButton, {}, last);
    }

    std::unique_ptr<Tvxadsr2> graph;
};

} // namespace

TEST_F(Vxadsr2Test, NewControlDefaults)
{
    EXPECT_EQ(graph->size(), QSize(100, 80));
    EXPECT_EQ(graph->Max(), 99);
    EXPECT_EQ(graph->LineColor(), clTeal);
    EXPECT_TRUE(graph->AlwayDetect());
    EXPECT_TRUE(graph->ShowHint());
    EXPECT_FALSE(graph->FillEnabled());
    EXPECT_EQ(graph->GradientColor(), clNavy);
    EXPECT_FALSE(graph->GradientEnabled());
    EXPECT_EQ(graph->GradientNbOfColors(), 64);
    EXPECT_EQ(graph->GradientType(), gr2VertCenterToBorder);
    EXPECT_EQ(graph->MarkerSize(), 3);
    EXPECT_EQ(graph->MarkerColor(), clAqua);
    EXPECT_TRUE(graph->ShowVLines());
    EXPECT_EQ(graph->Color(), clBlack);
    EXPECT_TRUE(graph->TabStop());
    EXPECT_EQ(graph->SelectedMarker(), -1);
    EXPECT_FALSE(graph->Dragging());
    EXPECT_TRUE(graph->GradientReady());
    EXPECT_EQ(graph->GradientBitmap().size(), QSize(100, 80));
    EXPECT_TRUE(static_cast<bool>(graph->OnChange()));
    EXPECT_EQ(GetSlots(*graph), (Slots{49, 49, 49, 49, 49, 49, 49, 49}));
}

TEST_F(Vxadsr2Test, MarkerPositionsOfTheWorkedExamples)
{
    graph->repaint();
    EXPECT_EQ(graph->MarkerPoints(),
              (Points{QPoint(0, 40), QPoint(12, 40), QPoint(24, 40), QPoint(36, 40), QPoint(87, 40),
                      QPoint(99, 40)}));

    ShowFilterGraph();
    EXPECT_EQ(graph->MarkerPoints(),
              (Points{QPoint(0, 120), QPoint(38, 4), QPoint(82, 45), QPoint(83, 83), QPoint(154, 83),
                      QPoint(185, 120)}));

    graph->resize(188, 118); // the amplifier graph's size
    graph->repaint();
    EXPECT_EQ(graph->MarkerPoints(),
              (Points{QPoint(0, 117), QPoint(38, 4), QPoint(82, 44), QPoint(83, 81), QPoint(156, 81),
                      QPoint(187, 117)}));
    EXPECT_EQ(graph->DrawingBuffer().size(), QSize(188, 118));
}

TEST_F(Vxadsr2Test, GradientBackgroundOfTheFilterGraph)
{
    ShowFilterGraph();
    const QImage &buf = graph->DrawingBuffer();
    // Column 130 is above the sustain plateau (row 83) down to row 82.
    EXPECT_EQ(At(buf, 130, 0), RGBColor(40, 40, 101));
    EXPECT_EQ(At(buf, 130, 1), RGBColor(40, 40, 101));
    EXPECT_EQ(At(buf, 130, 2), RGBColor(39, 39, 99));
    EXPECT_EQ(At(buf, 130, 59), RGBColor(21, 21, 53));
    EXPECT_EQ(At(buf, 130, 60), RGBColor(20, 20, 51));
    EXPECT_EQ(At(graph->GradientBitmap(), 130, 120), RGBColor(1, 1, 2));
    EXPECT_EQ(graph->GradientBitmap().size(), QSize(186, 121));
}

TEST_F(Vxadsr2Test, GradientSettersMarkTheCacheStaleAndIgnoreInvalidBandCounts)
{
    graph->SetGradientEnabled(true);
    EXPECT_TRUE(graph->GradientReady()); // rebuilt by the redraw
    graph->SetGradientNbOfColors(5);
    EXPECT_EQ(graph->GradientNbOfColors(), 5);
    for (int bad : {1, 257, -5}) {
        graph->SetGradientNbOfColors(bad);
        EXPECT_EQ(graph->GradientNbOfColors(), 5) << bad;
    }
    graph->SetGradientNbOfColors(0);
    EXPECT_EQ(graph->GradientNbOfColors(), 0); // the automatic count is not stored
    graph->SetGradientNbOfColors(256);
    EXPECT_EQ(graph->GradientNbOfColors(), 256);

    // Disabled: a change still marks the cache stale, with nothing rebuilt.
    graph->SetGradientEnabled(false);
    graph->SetGradientType(gr2LeftToRight);
    EXPECT_FALSE(graph->GradientReady());
    graph->repaint();
    EXPECT_FALSE(graph->GradientReady());
    EXPECT_EQ(At(graph->DrawingBuffer(), 50, 5), clBlack);
}

TEST_F(Vxadsr2Test, GradientFollowsASizeChange)
{
    ShowFilterGraph();
    graph->resize(60, 50);
    graph->repaint();
    EXPECT_EQ(graph->GradientBitmap().size(), QSize(60, 50));
    EXPECT_EQ(At(graph->DrawingBuffer(), 30, 0), RGBColor(40, 40, 101));
}

TEST_F(Vxadsr2Test, DottedGuideLinesAlternateMarkerAndLineColour)
{
    ShowFilterGraph();
    const QImage &buf = graph->DrawingBuffer();
    // Vertical: from (83, 83) down to row 119, the base row not included;
    // rows 83..85 lie under marker 3's frame.
    for (int y = 86; y <= 118; ++y)
        EXPECT_EQ(At(buf, 83, y), ((y - 83) / 3) % 2 == 0 ? clAqua : clTeal) << "row " << y;
    // Horizontal along the base row, away from the marker frames.
    for (int x = 3; x <= 180; ++x)
        EXPECT_EQ(At(buf, x, 120), (x / 3) % 2 == 0 ? clAqua : clTeal) << "col " << x;
    // The end point (185, 120) belongs to the fill's outline, not to the dots.
    EXPECT_EQ(At(buf, 185, 120), clTeal);

    graph->SetShowVLines(false);
    EXPECT_EQ(At(graph->DrawingBuffer(), 83, 100), clTeal); // plain fill
    EXPECT_EQ(At(graph->DrawingBuffer(), 30, 120), clTeal);
}

TEST_F(Vxadsr2Test, MarkerFramesOfSizeZeroThreeAndEight)
{
    ShowFilterGraph();
    graph->SetShowVLines(false);
    const auto aquaCount = [&] {
        int n = 0;
        const QImage &buf = graph->DrawingBuffer();
        for (int y = 0; y < buf.height(); ++y)
            for (int x = 0; x < buf.width(); ++x)
                n += At(buf, x, y) == clAqua;
        return n;
    };

    // Size 3 around marker 2 (82, 45): columns 79..84, rows 42..47.
    const QImage &buf = graph->DrawingBuffer();
    EXPECT_EQ(At(buf, 79, 42), clAqua);
    EXPECT_EQ(At(buf, 84, 47), clAqua);
    EXPECT_EQ(At(buf, 79, 47), clAqua);
    EXPECT_NE(At(buf, 85, 45), clAqua);
    EXPECT_NE(At(buf, 82, 48), clAqua);

    graph->SetMarkerSize(8); // marker 2: columns 74..89, rows 37..52
    EXPECT_EQ(At(graph->DrawingBuffer(), 74, 37), clAqua);
    EXPECT_EQ(At(graph->DrawingBuffer(), 89, 52), clAqua);
    EXPECT_NE(At(graph->DrawingBuffer(), 90, 45), clAqua);
    EXPECT_NE(At(graph->DrawingBuffer(), 82, 53), clAqua);

    graph->SetMarkerSize(0);
    EXPECT_EQ(aquaCount(), 0);
    graph->SetMarkerSize(-1);
    EXPECT_EQ(aquaCount(), 0);
}

TEST_F(Vxadsr2Test, FillCoversBothSidesOfACrossingBaseLine)
{
    graph->SetFillEnabled(true);
    graph->SetShowVLines(false);
    graph->SetMarkerSize(0);

    // Base (slot 7) above the peak (slot 1): filled between curve and base.
    graph->SetValue(99, 7);
    EXPECT_EQ(graph->MarkerPoints()[0], QPoint(0, 0));
    EXPECT_EQ(At(graph->DrawingBuffer(), 50, 20), clTeal);
    EXPECT_EQ(At(graph->DrawingBuffer(), 50, 60), clBlack);

    // Base through the middle, peak above it and plateau below it.
    SetSlots(*graph, {49, 99, 49, 49, 49, 0, 49, 49});
    EXPECT_EQ(graph->MarkerPoints(),
              (Points{QPoint(0, 40), QPoint(12, 0), QPoint(24, 40), QPoint(36, 79), QPoint(87, 79),
                      QPoint(99, 40)}));
    EXPECT_EQ(At(graph->DrawingBuffer(), 12, 20), clTeal);
    EXPECT_EQ(At(graph->DrawingBuffer(), 60, 60), clTeal);
    EXPECT_EQ(At(graph->DrawingBuffer(), 60, 20), clBlack);

    graph->SetFillEnabled(false); // the poly-line alone
    EXPECT_EQ(At(graph->DrawingBuffer(), 60, 60), clBlack);
    EXPECT_EQ(At(graph->DrawingBuffer(), 60, 79), clTeal);
}

TEST_F(Vxadsr2Test, SettersRedrawAtOnceOnlyOnAChange)
{
    PaintCounter paints(graph.get());
    graph->SetValue(49, 3);
    graph->SetMax(99);
    graph->SetLineColor(clTeal);
    graph->SetMarkerSize(3);
    graph->SetGradientNbOfColors(1); // invalid: ignored
    EXPECT_EQ(paints.count, 0);

    graph->SetValue(10, 3);
    EXPECT_EQ(paints.count, 1);
    graph->SetMarkerColor(clYellow);
    graph->SetFillEnabled(true);
    graph->SetGradientType(gr2TopToBottom);
    EXPECT_EQ(paints.count, 4);
    graph->SetAlwayDetect(false); // stored only
    EXPECT_EQ(paints.count, 4);
    // Marker 2 now sits at (24, 72): its frame starts at (21, 69).
    EXPECT_EQ(At(graph->DrawingBuffer(), 21, 69), clYellow);
}

TEST_F(Vxadsr2Test, MaxZeroAbandonsTheDrawingAndKeepsThePicture)
{
    graph->repaint();
    const QImage before = graph->DrawingBuffer().copy();
    const Points markers = graph->MarkerPoints();
    graph->SetMax(0);
    graph->SetValue(3, 1);
    EXPECT_EQ(graph->DrawingBuffer(), before);
    EXPECT_EQ(graph->MarkerPoints(), markers);
    // A drag still works on the last markers, clamping to Max 0.
    Drag({12, 40}, {{12, 20}});
    EXPECT_EQ(graph->GetValue(1), 0);
}

TEST_F(Vxadsr2Test, SetValueStoresUnclampedValues)
{
    graph->SetValue(150, 1);
    graph->SetValue(-20, 0);
    EXPECT_EQ(graph->GetValue(1), 150);
    EXPECT_EQ(graph->GetValue(0), -20);
    EXPECT_EQ(graph->MarkerPoints()[1], QPoint(28, 79 - 150 * 79 / 99));
}

TEST_F(Vxadsr2Test, SetValueIndexOutsideTheSlotsIsIgnoredInsteadOfCorruptingMemory)
{
    PaintCounter paints(graph.get());
    graph->SetValue(7, 8);
    graph->SetValue(7, -1);
    graph->SetValue(7, 1000000);
    EXPECT_EQ(paints.count, 0);
    EXPECT_EQ(graph->GetValue(8), 0);
    EXPECT_EQ(graph->GetValue(-1), 0);
    EXPECT_EQ(GetSlots(*graph), (Slots{49, 49, 49, 49, 49, 49, 49, 49}));
}

TEST_F(Vxadsr2Test, EachMarkerDragsExactlyItsSlots)
{
    // Right by 20 and up by 30 moves every slot a marker owns off its value.
    const std::array<std::vector<int>, Tvxadsr2::kMarkerCount> owned = {
        std::vector<int>{7}, {0, 1}, {2, 3}, {4, 5}, {6, 5}, {7}};
    for (int m = 0; m < Tvxadsr2::kMarkerCount; ++m) {
        SCOPED_TRACE(m);
        ShowFilterGraph();
        const QPoint from = graph->MarkerPoints()[std::size_t(m)];
        Drag(from, {from + QPoint(20, -30)});
        const Slots after = GetSlots(*graph);
        for (int s = 0; s < Tvxadsr2::kSlotCount; ++s) {
            const bool changed = after[std::size_t(s)] != kExample[std::size_t(s)];
            const bool expected = std::find(owned[std::size_t(m)].begin(), owned[std::size_t(m)].end(), s)
                                  != owned[std::size_t(m)].end();
            EXPECT_EQ(changed, expected) << "slot " << s;
        }
        EXPECT_FALSE(graph->Dragging());
        EXPECT_EQ(graph->SelectedMarker(), m);
    }
}

TEST_F(Vxadsr2Test, DragStepsFollowTheTruncatedScale)
{
    ShowFilterGraph(); // Q = 46, D = 119, Max 32
    // Marker 1 five pixels right: slot 0 += -5 * 32 / 46 = -3.
    Drag({38, 4}, {{43, 4}});
    EXPECT_EQ(graph->GetValue(0), 2);
    EXPECT_EQ(graph->GetValue(1), 31);
    EXPECT_EQ(graph->MarkerPoints()[1], QPoint(43, 4)); // redrawn under the pointer

    // Marker 4 (release) to the right shortens the release: slot 6 rises.
    // The move adds 10 * 32 / 46 = 6 and redraws the marker at x 162; the
    // release two pixels further on adds 2 * 32 / 46 = 1.
    Drag({154, 83}, {{164, 83}});
    EXPECT_EQ(graph->GetValue(6), 17);
    // Marker 3 three rows down: (83 - 86) * 32 / 119 truncates to 0.
    Drag({83, 83}, {{83, 86}});
    EXPECT_EQ(graph->GetValue(5), 10);
}

TEST_F(Vxadsr2Test, DragFarOutsideClampsToZeroAndMax)
{
    ShowFilterGraph();
    Drag({83, 83}, {{-1000, -1000}});
    EXPECT_EQ(graph->GetValue(4), 32);
    EXPECT_EQ(graph->GetValue(5), 32);
    const QPoint m3 = graph->MarkerPoints()[3];
    Drag(m3, {{5000, 5000}});
    EXPECT_EQ(graph->GetValue(4), 0);
    EXPECT_EQ(graph->GetValue(5), 0);
    // Base level: the two end points and the guide line move together.
    Drag({0, 120}, {{0, -400}});
    EXPECT_EQ(graph->GetValue(7), 32);
    EXPECT_EQ(graph->MarkerPoints()[0].y(), 0);
    EXPECT_EQ(graph->MarkerPoints()[5].y(), 0);
}

TEST_F(Vxadsr2Test, OnChangeCountsWithAndWithoutAlwayDetect)
{
    ShowFilterGraph();
    int changes = 0;
    QObject *sender = nullptr;
    graph->SetOnChange([&](QObject *s) {
        ++changes;
        sender = s;
    });
    Drag({38, 4}, {{40, 10}, {42, 20}, {44, 30}});
    EXPECT_EQ(changes, 4); // three moves and the release
    EXPECT_EQ(sender, graph.get());

    changes = 0;
    graph->SetAlwayDetect(false);
    const QPoint m1 = graph->MarkerPoints()[1];
    Drag(m1, {m1 + QPoint(2, 2), m1 + QPoint(4, 4), m1 + QPoint(6, 6)});
    EXPECT_EQ(changes, 1);

    // A press that misses every marker: no drag, no change, but each move
    // with the left button held still redraws.
    changes = 0;
    PaintCounter paints(graph.get());
    Drag({120, 30}, {{121, 31}, {122, 32}});
    EXPECT_EQ(graph->SelectedMarker(), -1);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(paints.count, 2);
    EXPECT_EQ(GetSlots(*graph)[7], 0);
}

TEST_F(Vxadsr2Test, ClearedOnChangeDoesNothing)
{
    ShowFilterGraph();
    graph->SetOnChange(nullptr);
    Drag({38, 4}, {{48, 14}});
    EXPECT_NE(GetSlots(*graph), kExample);
}

TEST_F(Vxadsr2Test, RightButtonIsIgnoredEntirely)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QLineEdit(&window);
    auto *g = new Tvxadsr2(&window);
    g->setMinimumSize(100, 80);
    layout->addWidget(edit);
    layout->addWidget(g);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    ASSERT_TRUE(edit->hasFocus());
    g->resize(100, 80);
    g->repaint();

    PaintCounter paints(g);
    int changes = 0;
    g->SetOnChange([&](QObject *) { ++changes; });
    const QPoint m1 = g->MarkerPoints()[1];
    QTest::mousePress(g, Qt::RightButton, {}, m1);
    QTest::mouseMove(g, m1 + QPoint(10, -10));
    QTest::mouseRelease(g, Qt::RightButton, {}, m1 + QPoint(10, -10));
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(g->SelectedMarker(), -1);
    EXPECT_EQ(paints.count, 0);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(g->GetValue(0), 49);

    QTest::mouseClick(g, Qt::LeftButton, {}, m1); // the left button takes the focus
    EXPECT_TRUE(g->hasFocus());
    EXPECT_EQ(g->SelectedMarker(), 1);
}

TEST_F(Vxadsr2Test, OverlappingMarkersPickTheLowerIndex)
{
    graph->SetValue(99, 0); // zero-width attack: markers 0 and 1 share (0, 40)
    ASSERT_EQ(graph->MarkerPoints()[1], QPoint(0, 40));
    Drag({1, 40}, {{1, 20}});
    EXPECT_EQ(graph->SelectedMarker(), 0);
    EXPECT_EQ(graph->GetValue(7), 74); // only the base level moved
    EXPECT_EQ(graph->GetValue(1), 49);
    EXPECT_EQ(graph->GetValue(0), 99);
}

TEST_F(Vxadsr2Test, HitToleranceFollowsMarkerSize)
{
    // Markers of a new control: x = 0, 12, 24, 36, 87, 99 on row 40.
    const auto pressAt = [&](QPoint p) {
        SetSlots(*graph, {49, 49, 49, 49, 49, 49, 49, 49});
        QTest::mousePress(graph.get(), Qt::LeftButton, {}, p);
        const int selected = graph->SelectedMarker();
        QTest::mouseRelease(graph.get(), Qt::LeftButton, {}, p);
        return selected;
    };
    graph->SetMarkerSize(0); // nothing drawn, still grabbed within 5
    EXPECT_EQ(pressAt({36 + 5, 40 - 5}), 3);
    EXPECT_EQ(pressAt({36 + 6, 40}), -1);
    EXPECT_EQ(pressAt({36, 40 + 6}), -1);
    graph->SetMarkerSize(8);
    EXPECT_EQ(pressAt({87 - 8, 40 + 8}), 4);
    EXPECT_EQ(pressAt({87, 40 + 9}), -1);
}

TEST_F(Vxadsr2Test, DragOnAControlTooSmallForTheUpdateIsRefused)
{
    for (const QSize size : {QSize(4, 80), QSize(100, 2)}) {
        SCOPED_TRACE(size.width());
        graph->resize(size);
        graph->repaint();
        int changes = 0;
        graph->SetOnChange([&](QObject *) { ++changes; });
        const Slots before = GetSlots(*graph);
        const QPoint m = graph->MarkerPoints()[0];
        Drag(m, {m + QPoint(2, -1), m + QPoint(3, 1)});
        EXPECT_FALSE(graph->Dragging());
        EXPECT_EQ(GetSlots(*graph), before);
        EXPECT_EQ(changes, 0);
    }
}

TEST_F(Vxadsr2Test, EmptyControlDrawsNothingAndDoesNotCrash)
{
    graph->resize(0, 0);
    graph->Affiche();
    graph->resize(1, 1);
    graph->SetGradientEnabled(true);
    graph->SetFillEnabled(true);
    graph->Affiche();
    EXPECT_EQ(graph->DrawingBuffer().size(), QSize(1, 1));
}
