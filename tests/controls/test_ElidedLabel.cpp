#include "controls/ElidedLabel.h"

#include <gtest/gtest.h>

TEST(ElidedLabel, TakesNoRoomAndCutsWhatDoesNotFit)
{
    TElidedLabel label;
    label.resize(120, 20);
    const struct {
        QString Text;
        bool Whole;
    } cases[] = {{QStringLiteral("Saved"), true}, {QString(), true}, {QString(200, QLatin1Char('m')), false}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Text.size());
        label.setText(c.Text);
        EXPECT_EQ(label.sizeHint().width(), 0) << "a long text never widens its layout";
        EXPECT_EQ(label.text(), c.Text) << "the text itself stays whole";
        EXPECT_EQ(label.ShownText() == c.Text, c.Whole);
        EXPECT_LE(label.fontMetrics().horizontalAdvance(label.ShownText()), label.contentsRect().width());
        if (!c.Whole)
            EXPECT_TRUE(label.ShownText().endsWith(QChar(0x2026)));
    }
}
