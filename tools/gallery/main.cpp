#include "Gallery.h"

#include <QApplication>
#include <QDir>
#include <QWidget>
#include <cstdio>

bool Save(QWidget &w, const QString &dir, const QString &name, QStringList &written)
{
    if (!w.grab().save(QDir(dir).filePath(name), "PNG"))
        return false;
    written << name;
    return true;
}

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrelk-gallery OUTDIR\n"
                             "Renders every custom control of Tavrelk to PNG files in OUTDIR.\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "tavrelk-gallery: cannot create %s\n", argv[1]);
        return 1;
    }
    QStringList written = renderPanelControls(dir);
    written += renderSpareControls(dir);
    for (const QString &f : written)
        std::printf("%s\n", qPrintable(QDir(dir).filePath(f)));
    return 0;
}
