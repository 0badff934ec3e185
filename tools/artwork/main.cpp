// tavrelk-artwork OUTDIR: draws the editor's pictures (block diagram,
// controller picture, waveform strip, donate button, icon) as PNG files.

#include "Artwork.h"

#include <QDir>
#include <QGuiApplication>
#include <cstdio>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: tavrelk-artwork OUTDIR\n"
                             "Draws Tavrelk's artwork as PNG files into OUTDIR (normally assets/).\n");
        return 2;
    }
    const QString dir = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(dir)) {
        std::fprintf(stderr, "tavrelk-artwork: cannot create %s\n", argv[1]);
        return 1;
    }
    QString error;
    const QStringList written = artwork::WriteAll(dir, &error);
    if (written.isEmpty()) {
        std::fprintf(stderr, "tavrelk-artwork: %s\n", qPrintable(error));
        return 1;
    }
    for (const QString &f : written)
        std::printf("%s\n", qPrintable(QDir(dir).filePath(f)));
    return 0;
}
