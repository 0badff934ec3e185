#include "controls/Vxadsr2.h"
#include "ControlsTestSupport.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>

#include <array>
#include <climits>
#include <memory>

namespace {

using Points = std::array<QPoint, Tvxadsr2::kMarkerCount>;
using Slots = std::array<int, Tvxadsr2::kSlotCount>;

constexpr Slots kStart = {5, 31, 1, 20, 31, 10, 10, 0}; // the main window's start values
constexpr Slots kNew = {49, 49, 49, 49, 49, 49, 49, 49};

TColor At(const QImage &image, int x, int y)
{
    return FromQColor(QColor(image.pixel(x, y)));
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

    void SetSlots(const Slots &values)
    {
        for (int i = 0; i < Tvxadsr2::kSlotCount; ++i)
            graph->SetValue(values[std::size_t(i)], i);
    }

    Slots GetSlots() const
    {
        Slots s{};
        for (int i = 0; i < Tvxadsr2::kSlotCount; ++i)
            s[std::size_t(i)] = graph->GetValue(i);
        return s;
    }

    // The filter graph as the main window configures it, with its start values.
    void ShowFilterGraph()
    {
        graph->resize(186, 121);
        graph->SetMax(32);
        graph->SetGradientColor(0x652828);
        graph->SetGradientEnabled(true);
        graph->SetFillEnabled(true);
        graph->SetGradientType(gr2TopToBottom);
        SetSlots(kStart);
        graph->repaint();
    }

    // Press on 'from', move through each point, release at the last one.
    void Drag(QPoint from, std::initializer_list<QPoint> moves)
    {
        QTest::mousePress(graph.get(), Qt::LeftButton, {}, from);
        QPoint last = from;
        for (const QPoint &p : moves)
            QTest::mouseMove(graph.get(), last = p);
        QTest::mouseRelease(graph.get(), Qt::LeftButton, {}, last);
    }

    std::unique_ptr<Tvxadsr2> graph;
};

} // namespace

TEST_F(Vxadsr2Test, MarkerPositionsOfTheWorkedExamples)
{
    graph->repaint();
    EXPECT_EQ(GetSlots(), kNew);
    EXPECT_TRUE(graph->GradientReady()); // built once by the constructor
    EXPECT_EQ(graph->MarkerPoints(), (Points{{{0, 40}, {12, 40}, {24, 40}, {36, 40}, {87, 40}, {99, 40}}}));

    ShowFilterGraph();
    EXPECT_EQ(graph->MarkerPoints(),
              (Points{{{0, 120}, {38, 4}, {82, 45}, {83, 83}, {154, 83}, {185, 120}}}));

    graph->resize(188, 118); // the amplifier graph's size
    graph->repaint();
    EXPECT_EQ(graph->MarkerPoints(),
              (Points{{{0, 117}, {38, 4}, {82, 44}, {83, 81}, {156, 81}, {187, 117}}}));
}

TEST_F(Vxadsr2Test, FilterGraphGradientAndDottedGuideLines)
{
    ShowFilterGraph();
    const QImage &buf = graph->DrawingBuffer();
    // Column 130 shows the gradient above the sustain plateau (row 83).
    EXPECT_EQ(At(buf, 130, 1), RGBColor(40, 40, 101));
    EXPECT_EQ(At(buf, 130, 2), RGBColor(39, 39, 99));
    EXPECT_EQ(At(buf, 130, 60), RGBColor(20, 20, 51));
    // Vertical guide from (83, 83) towards row 119, which it leaves out
    // (rows 83..85 lie under a marker).
    for (int y = 86; y <= 118; ++y)
        EXPECT_EQ(At(buf, 83, y), ((y - 83) / 3) % 2 == 0 ? clAqua : clTeal) << "row " << y;
    EXPECT_EQ(At(buf, 83, 119), clTeal); // would be a dot
    // Horizontal guide along the base row, away from the marker frames; its
    // end point belongs to the fill's outline.
    for (int x = 3; x <= 180; ++x)
        EXPECT_EQ(At(buf, x, 120), (x / 3) % 2 == 0 ? clAqua : clTeal) << "col " << x;
    EXPECT_EQ(At(buf, 185, 120), clTeal);

    // A size change rebuilds the gradient at the new size.
    graph->resize(60, 50);
    graph->repaint();
    EXPECT_EQ(graph->GradientBitmap().size(), QSize(60, 50));
}

TEST_F(Vxadsr2Test, MarkerFramesOfSizeZeroThreeAndEight)
{
    ShowFilterGraph();
    graph->SetShowVLines(false);
    // Size 3 around marker 2 (82, 45): columns 79..84, rows 42..47.
    EXPECT_EQ(At(graph->DrawingBuffer(), 84, 47), clAqua);
    EXPECT_NE(At(graph->DrawingBuffer(), 85, 45), clAqua);
    graph->SetMarkerSize(8); // columns 74..89, rows 37..52
    EXPECT_EQ(At(graph->DrawingBuffer(), 74, 37), clAqua);
    EXPECT_EQ(At(graph->DrawingBuffer(), 89, 52), clAqua);
    EXPECT_NE(At(graph->DrawingBuffer(), 90, 45), clAqua);
    EXPECT_NE(At(graph->DrawingBuffer(), 82, 53), clAqua);
    graph->SetMarkerSize(0);
    const QImage &buf = graph->DrawingBuffer();
    for (int y = 0; y < buf.height(); ++y)
        for (int x = 0; x < buf.width(); ++x)
            ASSERT_NE(At(buf, x, y), clAqua) << x << "," << y;
}

TEST_F(Vxadsr2Test, FillCoversBothSidesOfACrossingBaseLine)
{
    graph->SetFillEnabled(true);
    graph->SetShowVLines(false);
    graph->SetMarkerSize(0);
    graph->SetValue(99, 7); // base on the top row, above the peak
    EXPECT_EQ(At(graph->DrawingBuffer(), 50, 20), clTeal);
    EXPECT_EQ(At(graph->DrawingBuffer(), 50, 60), clBlack);

    SetSlots({49, 99, 49, 49, 49, 0, 49, 49}); // peak above the base, plateau below
    EXPECT_EQ(graph->MarkerPoints(), (Points{{{0, 40}, {12, 0}, {24, 40}, {36, 79}, {87, 79}, {99, 40}}}));
    EXPECT_EQ(At(graph->DrawingBuffer(), 12, 20), clTeal);
    EXPECT_EQ(At(graph->DrawingBuffer(), 60, 60), clTeal);
    EXPECT_EQ(At(graph->DrawingBuffer(), 60, 20), clBlack);
    graph->SetFillEnabled(false);
    EXPECT_EQ(At(graph->DrawingBuffer(), 60, 60), clBlack);
}

TEST_F(Vxadsr2Test, SettersRedrawAtOnceOnlyOnAValidChange)
{
    PaintCounter paints(graph.get());
    graph->SetValue(49, 3);
    graph->SetMax(99);
    graph->SetMarkerSize(3);
    graph->SetGradientNbOfColors(5);
    paints.count = 0;
    for (int bad : {1, 257, -5})
        graph->SetGradientNbOfColors(bad);
    EXPECT_EQ(graph->GradientNbOfColors(), 5);
    graph->SetAlwayDetect(false); // stored only
    EXPECT_EQ(paints.count, 0);
    graph->SetValue(10, 3);
    graph->SetMarkerColor(clYellow);
    EXPECT_EQ(paints.count, 2);
    EXPECT_EQ(At(graph->DrawingBuffer(), 21, 69), clYellow); // marker 2 now at (24, 72)
}

TEST_F(Vxadsr2Test, MaxZeroAbandonsTheDrawingAndKeepsThePicture)
{
    graph->repaint();
    const QImage before = graph->DrawingBuffer().copy();
    graph->SetMax(0);
    graph->SetValue(3, 1);
    EXPECT_EQ(graph->DrawingBuffer(), before);
    EXPECT_EQ(graph->MarkerPoints()[1], QPoint(12, 40));
}

TEST_F(Vxadsr2Test, SetValueIndexOutsideTheSlotsIsIgnoredInsteadOfCorruptingMemory)
{
    PaintCounter paints(graph.get());
    graph->SetValue(7, 8);
    graph->SetValue(7, -1);
    EXPECT_EQ(paints.count, 0);
    EXPECT_EQ(graph->GetValue(8), 0);
    EXPECT_EQ(GetSlots(), kNew);
}

TEST_F(Vxadsr2Test, HugeSlotValuesDrawWithoutHangingOrOverflowing)
{
    graph->SetFillEnabled(true);
    graph->SetValue(INT_MAX, 1);
    graph->SetValue(INT_MIN, 6);
    graph->SetValue(INT_MIN, 7);
    EXPECT_LT(graph->MarkerPoints()[1].y(), 0);
    EXPECT_GT(graph->MarkerPoints()[0].y(), 79);
    EXPECT_EQ(graph->MarkerPoints()[2], QPoint(24, 40));
    Drag({24, 40}, {{24, 30}}); // the control stays usable
    EXPECT_GT(graph->GetValue(3), 49);
}

TEST_F(Vxadsr2Test, EachMarkerDragsExactlyItsSlots)
{
    // Right by 20 and up by 30 moves every slot a marker owns off its value.
    const std::array<std::vector<int>, Tvxadsr2::kMarkerCount> owned = {
        std::vector<int>{7}, {0, 1}, {2, 3}, {4, 5}, {6, 5}, {7}};
    for (std::size_t m = 0; m < owned.size(); ++m) {
        ShowFilterGraph();
        const QPoint from = graph->MarkerPoints()[m];
        Drag(from, {from + QPoint(20, -30)});
        for (std::size_t s = 0; s < kStart.size(); ++s) {
            const bool mine = std::count(owned[m].begin(), owned[m].end(), int(s)) > 0;
            EXPECT_EQ(GetSlots()[s] != kStart[s], mine) << "marker " << m << " slot " << s;
        }
    }
}

TEST_F(Vxadsr2Test, DragStepsTruncateAndClampAtTheEdges)
{
    ShowFilterGraph(); // Q = 46, D = 119, Max 32
    Drag({38, 4}, {{43, 4}}); // slot 0 += -5 * 32 / 46 = -3
    EXPECT_EQ(graph->GetValue(0), 2);
    EXPECT_EQ(graph->MarkerPoints()[1], QPoint(43, 4)); // redrawn under the pointer
    // Release: +6 on the move redraws marker 4 at x 162, +1 on the release.
    Drag({154, 83}, {{164, 83}});
    EXPECT_EQ(graph->GetValue(6), 17);

    Drag({83, 83}, {{-1000, -1000}});
    EXPECT_EQ(graph->GetValue(4), 32);
    EXPECT_EQ(graph->GetValue(5), 32);
    Drag(graph->MarkerPoints()[3], {{5000, 5000}});
    EXPECT_EQ(graph->GetValue(4), 0);
    EXPECT_EQ(graph->GetValue(5), 0);
}

TEST_F(Vxadsr2Test, OnChangeCountsWithAndWithoutAlwayDetect)
{
    ShowFilterGraph();
    int changes = 0;
    QObject *sender = nullptr;
    graph->SetOnChange([&](QObject *s) { ++changes, sender = s; });
    Drag({38, 4}, {{40, 10}, {42, 20}, {44, 30}});
    EXPECT_EQ(changes, 4); // three moves and the release
    EXPECT_EQ(sender, graph.get());

    changes = 0;
    graph->SetAlwayDetect(false);
    const QPoint m1 = graph->MarkerPoints()[1];
    Drag(m1, {m1 + QPoint(2, 2), m1 + QPoint(4, 4), m1 + QPoint(6, 6)});
    EXPECT_EQ(changes, 1);

    // A press that misses every marker drags nothing, yet each move redraws.
    changes = 0;
    PaintCounter paints(graph.get());
    Drag({120, 30}, {{121, 31}, {122, 32}});
    EXPECT_EQ(graph->SelectedMarker(), -1);
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(paints.count, 2);

    graph->SetOnChange(nullptr); // a cleared handler is simply not called
    Drag({38, 4}, {{48, 14}});
}

TEST_F(Vxadsr2Test, RightButtonIsIgnoredEntirely)
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *edit = new QLineEdit(&window);
    auto *g = new Tvxadsr2(&window);
    g->setFixedSize(100, 80);
    layout->addWidget(edit);
    layout->addWidget(g);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    edit->setFocus();
    PaintCounter paints(g);
    const QPoint m1(12, 40);
    QTest::mousePress(g, Qt::RightButton, {}, m1);
    QTest::mouseMove(g, m1 + QPoint(10, -10));
    QTest::mouseRelease(g, Qt::RightButton, {}, m1 + QPoint(10, -10));
    EXPECT_TRUE(edit->hasFocus());
    EXPECT_EQ(g->SelectedMarker(), -1);
    EXPECT_EQ(paints.count, 0);
    EXPECT_EQ(g->GetValue(0), 49);

    QTest::mouseClick(g, Qt::LeftButton, {}, m1); // the left button takes the focus
    EXPECT_TRUE(g->hasFocus());
    EXPECT_EQ(g->SelectedMarker(), 1);
}

TEST_F(Vxadsr2Test, HitToleranceAndOverlapPickTheLowerIndex)
{
    // Markers of a new control: x = 0, 12, 24, 36, 87, 99 on row 40.
    const auto pressAt = [&](QPoint p) {
        SetSlots(kNew);
        QTest::mousePress(graph.get(), Qt::LeftButton, {}, p);
        const int selected = graph->SelectedMarker();
        QTest::mouseRelease(graph.get(), Qt::LeftButton, {}, p);
        return selected;
    };
    graph->SetMarkerSize(0); // nothing drawn, still grabbed within 5
    EXPECT_EQ(pressAt({36 + 5, 40 - 5}), 3);
    EXPECT_EQ(pressAt({36 + 6, 40}), -1);
    graph->SetMarkerSize(8);
    EXPECT_EQ(pressAt({87 - 8, 40 + 8}), 4);
    EXPECT_EQ(pressAt({87, 40 + 9}), -1);

    graph->SetValue(99, 0); // zero-width attack: markers 0 and 1 share (0, 40)
    Drag({1, 40}, {{1, 20}});
    EXPECT_EQ(graph->SelectedMarker(), 0);
    EXPECT_EQ(GetSlots(), (Slots{99, 49, 49, 49, 49, 49, 49, 74})); // only the base moved
}

TEST_F(Vxadsr2Test, DragOnAControlTooSmallForTheUpdateIsRefused)
{
    for (const QSize size : {QSize(4, 80), QSize(100, 2)}) {
        graph->resize(size);
        graph->repaint();
        int changes = 0;
        graph->SetOnChange([&](QObject *) { ++changes; });
        const QPoint m = graph->MarkerPoints()[0];
        Drag(m, {m + QPoint(2, -1), m + QPoint(3, 1)});
        EXPECT_FALSE(graph->Dragging());
        EXPECT_EQ(GetSlots(), kNew);
        EXPECT_EQ(changes, 0);
    }
    graph->resize(0, 0);
    graph->SetFillEnabled(true);
    graph->SetGradientEnabled(true);
    graph->Affiche(); // nothing to draw, nothing to fail
}
