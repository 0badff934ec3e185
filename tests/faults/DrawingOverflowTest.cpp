// Found by UndefinedBehaviorSanitizer: the polygon fill took the differences
// of its corners in int, so a polygon reaching far outside the picture
// (a huge envelope slot value) overflowed and was filled with a wrong slope.

#include "controls/VxDraw.h"

#include <QImage>
#include <gtest/gtest.h>

TEST(DrawingOverflow, PolygonWithCornersFarOutsideFillsWithoutIntegerOverflow)
{
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::black);
    // A triangle whose left edge runs from far above-left to far below-left:
    // every pixel of the picture lies inside it.
    const int far = 1 << 30;
    const QPoint corners[] = {{-far, -far}, {far, 15}, {-far, far}};
    VxDraw::DrawPolygon(image, corners, 3, 0x0000FF, 0x00FF00);
    int filled = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            filled += image.pixel(x, y) != QColor(Qt::black).rgb();
    }
    EXPECT_EQ(filled, image.width() * image.height());
}
