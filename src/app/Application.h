#pragma once
// The application: title "Tavrelk", the two windows created in order (main
// window, then the setup dialog, which performs the MIDI start-up), the
// message loop, and the error box for exceptions that leave a handler.
// Thread: the user-interface thread (the one that made the QApplication).

#include <QApplication>
#include <QString>

#include <functional>

// Catches every exception at Qt's event dispatch, so that none unwinds
// through Qt: it is shown in the application's error box and the loop goes on.
class TApplication : public QApplication {
public:
    TApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};

struct TEditorOptions {
    // Run against the built-in simulated DW-8000 and BCR2000 instead of the
    // machine's MIDI devices.
    bool Demo = false;
    // When set, save a picture of each page there once the first patch has
    // been shown, then quit.
    QString ScreenshotDir;
    // When set, the settings file to use instead of the one beside the program.
    QString SettingsFile;
};

// argv as text, for ParseEditorOptions before the application object exists.
QStringList CommandLineArguments(int argc, char **argv);

// Parses the command line (args[0] is the program). Returns false, and sets
// the exit code, when the program should end at once: after --help or
// --version (printed, 0; they win over other options and over faults) or a
// bad command line (said on stderr, 2). Needs no application object.
bool ParseEditorOptions(const QStringList &args, TEditorOptions &options, int &exitCode);

// Creates the windows, runs the message loop and tears everything down in
// order; returns the loop's exit code.
int RunEditor(const TEditorOptions &options);
