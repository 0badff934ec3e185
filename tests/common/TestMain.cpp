#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

// Every test binary owns one QApplication so that widget, timer and
// posted-event tests can run; headless unless the caller chose a platform.
// The editor keeps every patch it sees in the user's patch library: a test
// run, and every program it starts, keeps them in a folder of its own instead.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir dataHome;
    if (!dataHome.isValid())
        return 2;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
