// The editor's command line, run as a program on a machine without a
// display: what a user or a script sees on its outputs and in its exit status.

#include "BuildInfo.h"

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

struct TRun {
    int Code = -1;
    QString Out, Err;
};

TRun RunEditor(const QStringList &args)
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        env.remove(QLatin1String(name));
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(TAVRELK_EDITOR), args);
    TRun run;
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.Code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : 1000 + p.exitCode();
    run.Out = QString::fromLocal8Bit(p.readAllStandardOutput());
    run.Err = QString::fromLocal8Bit(p.readAllStandardError());
    return run;
}

const QString kVersionLine = QStringLiteral("tavrelk " TAVRELK_VERSION_TEXT "\n");

} // namespace

TEST(CommandLine, AnswersWithoutADisplay)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("t.INI"));
    struct Case {
        QStringList Args;
        int Code;
        QString Out; // the whole of standard output, or its start when ending in "..."
        QString Err; // a part of standard error
    };
    const QString usage = QStringLiteral("Usage: tavrelk ...");
    const Case cases[] = {
        {{"--help"}, 0, usage, {}},
        {{"-h"}, 0, usage, {}},
        {{"--version"}, 0, kVersionLine, {}},
        {{"--demo", "--version"}, 0, kVersionLine, {}},
        {{"--settings", file, "--screenshots", dir.path(), "--version"}, 0, kVersionLine, {}},
        {{"--demo", "--help"}, 0, usage, {}},
        {{"--bogus", "--version"}, 0, kVersionLine, {}},
        {{"-platform", "offscreen", "--version"}, 0, kVersionLine, {}},
        {{"--bogus"}, 2, {}, "tavrelk: unknown argument --bogus"},
        {{"--settings"}, 2, {}, "tavrelk: --settings needs a file name"},
        {{"--settings", "--demo"}, 2, {}, "tavrelk: --settings needs a file name"},
        {{"--demo", "--screenshots"}, 2, {}, "tavrelk: --screenshots needs a folder name"},
        {{"--settings", dir.path()}, 2, {}, QStringLiteral("tavrelk: --settings: %1 is a folder").arg(dir.path())},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Args.join(QLatin1Char(' ')).toStdString());
        const TRun run = RunEditor(c.Args);
        EXPECT_EQ(run.Code, c.Code) << run.Err.toStdString();
        if (c.Out.endsWith(QLatin1String("...")))
            EXPECT_TRUE(run.Out.startsWith(c.Out.chopped(3))) << run.Out.toStdString();
        else
            EXPECT_EQ(run.Out, c.Out);
        if (c.Err.isEmpty())
            EXPECT_EQ(run.Err, QString());
        else
            EXPECT_TRUE(run.Err.contains(c.Err)) << run.Err.toStdString();
        EXPECT_FALSE(run.Err.contains(QLatin1String("qt.qpa"))) << "the window system was touched";
    }
}
