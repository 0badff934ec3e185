#include "app/Application.h"

#include "app/DemoPanel.h"

#include "core/Library.h"
#include "core/MessageBoxes.h"
#include "engine/IniSettings.h"
#include "engine/Session.h"
#include "midi/MidiIn.h"
#include "platform/IniFile.h"
#include "platform/MidiService.h"
#include "platform/RtMidiService.h"
#include "platform/TerminationSignals.h"
#include "platform/VirtualMidiService.h"
#include "setup/MidiSetup.h"
#include "sim/SimRig.h"

#include "BuildInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QPainter>
#include <QScreen>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cstdio>
#include <memory>

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("tavrelk"));
    setApplicationDisplayName(QStringLiteral("Tavrelk"));
    setApplicationVersion(QStringLiteral(TAVRELK_VERSION_TEXT));
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &e) {
        ShowExceptionBox(activeWindow(), e);
    } catch (...) {
        ShowExceptionBox(activeWindow(), std::runtime_error("Unknown error"));
    }
    return false;
}

namespace {

const char *const kUsage =
    "Usage: tavrelk [--demo] [--settings FILE] [--screenshots DIR] [--version]\n"
    "\n"
    "Tavrelk makes a Behringer BCR2000 the front panel of a Korg DW-8000.\n"
    "\n"
    "  --demo             run against a built-in simulated DW-8000 and BCR2000\n"
    "                     (no MIDI hardware needed); a settings file of its own\n"
    "                     (tavrelk-demo.INI) keeps the real one untouched\n"
    "  --settings FILE    use FILE as the settings file\n"
    "  --screenshots DIR  save both pages and the Library menu as PNG files in\n"
    "                     DIR once the first patch is shown, then quit\n"
    "  --version          print the version and end\n"
    "  --help             show this text\n";

QString DemoSettingsFile()
{
    QString path = SettingsFilePath(QCoreApplication::applicationFilePath());
    path.chop(4); // ".INI"
    return path + QStringLiteral("-demo.INI");
}

// The block-diagram page with the library menu drawn open under its button.
QImage LibraryPicture(TfMain &main)
{
    QImage shot = main.Content->grab().toImage();
    QToolButton *button = main.Library->Button;
    QMenu *menu = button->menu();
    menu->adjustSize();
    QPoint at = button->mapTo(main.Content, QPoint(0, button->height()));
    at.setX(std::min(at.x(), shot.width() - menu->width()));
    QPainter painter(&shot);
    painter.drawPixmap(at, menu->grab());
    return shot;
}

void SaveScreenshots(TfMain &main, const QString &dir)
{
    QDir().mkpath(dir);
    const QString block = QDir(dir).filePath(QStringLiteral("tavrelk-block-diagram.png"));
    const QString bcr = QDir(dir).filePath(QStringLiteral("tavrelk-bcr-layout.png"));
    const QString library = QDir(dir).filePath(QStringLiteral("tavrelk-library.png"));
    // The pages whole, even where the screen shows them in a scrolling view.
    main.pgMain->setCurrentWidget(main.tsBlock);
    main.Content->grab().save(block);
    LibraryPicture(main).save(library);
    main.pgMain->setCurrentWidget(main.tsBCR);
    main.Content->grab().save(bcr);
    main.pgMain->setCurrentWidget(main.tsBlock);
    std::printf("Screenshots saved:\n  %s\n  %s\n  %s\n", qPrintable(block), qPrintable(bcr), qPrintable(library));
    std::fflush(stdout);
}

QString UnansweredText(const std::vector<std::string> &systems)
{
    QStringList names;
    for (const std::string &s : systems)
        names << QString::fromStdString(s);
    return QStringLiteral("The MIDI service did not answer (%1), so its devices are not listed. "
                          "Is its server stopped or busy? Start it again, then restart the editor.")
        .arg(names.join(QStringLiteral(", ")));
}

} // namespace

QStringList CommandLineArguments(int argc, char **argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

namespace {

// The options the application object takes for itself (it removes them from
// the command line once it exists). They are let through here unchecked.
bool IsQtOption(const QString &arg, bool &takesValue)
{
    static const char *const kWithValue[] = {"platform", "platformpluginpath", "platformtheme", "plugin",
                                             "qwindowgeometry", "qwindowicon", "qwindowtitle", "session",
                                             "style", "stylesheet", "display", "geometry", "title", "name"};
    static const char *const kAlone[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};
    if (!arg.startsWith(QLatin1Char('-')))
        return false;
    const QString name = arg.mid(arg.startsWith(QLatin1String("--")) ? 2 : 1);
    for (const char *o : kWithValue) {
        if (name == QLatin1String(o)) {
            takesValue = true;
            return true;
        }
    }
    for (const char *o : kAlone) {
        if (name == QLatin1String(o)) {
            takesValue = false;
            return true;
        }
    }
    return false;
}

// A value option's value, or an error when the command line ends there.
bool TakeValue(const QStringList &args, int &i, QString &value, QString &error)
{
    // "--settings --demo" is a forgotten name, not a file called "--demo".
    if (i + 1 >= args.size() || args[i + 1].isEmpty() || args[i + 1].startsWith(QLatin1String("--"))) {
        error = args[i] == QLatin1String("--settings") ? QStringLiteral("--settings needs a file name")
                                                        : QStringLiteral("%1 needs a folder name").arg(args[i]);
        return false;
    }
    value = args[++i];
    return true;
}

} // namespace

bool ParseEditorOptions(const QStringList &args, TEditorOptions &options, int &exitCode)
{
    bool help = false, version = false;
    QString error; // the first fault; --help and --version still answer
    for (int i = 1; i < args.size(); ++i) {
        const QString &a = args[i];
        bool qtValue = false;
        if (a == QLatin1String("--demo")) {
            options.Demo = true;
        } else if (a == QLatin1String("--settings") || a == QLatin1String("--screenshots")) {
            QString value, fault;
            if (!TakeValue(args, i, value, fault)) {
                if (error.isEmpty())
                    error = fault;
                continue;
            }
            (a == QLatin1String("--settings") ? options.SettingsFile : options.ScreenshotDir) = value;
        } else if (a == QLatin1String("--help") || a == QLatin1String("-h")) {
            help = true;
        } else if (a == QLatin1String("--version")) {
            version = true;
        } else if (IsQtOption(a, qtValue)) {
            i += qtValue ? 1 : 0;
        } else if (error.isEmpty()) {
            error = QStringLiteral("unknown argument %1").arg(a);
        }
    }
    if (error.isEmpty() && !help && !options.SettingsFile.isEmpty() && QFileInfo(options.SettingsFile).isDir())
        error = QStringLiteral("--settings: %1 is a folder; give the settings file's name").arg(options.SettingsFile);
    if (help) {
        std::fputs(kUsage, stdout);
        exitCode = 0;
        return false;
    }
    if (version) {
        std::printf("tavrelk %s\n", TAVRELK_VERSION_TEXT);
        exitCode = 0;
        return false;
    }
    if (!error.isEmpty()) {
        std::fprintf(stderr, "tavrelk: %s\n\n%s", qPrintable(error), kUsage);
        exitCode = 2;
        return false;
    }
    return true;
}

int RunEditor(const TEditorOptions &options)
{
    const TTerminationSignals terminationSignals;
    std::unique_ptr<TSimRig> rig;
    std::shared_ptr<platform::MidiService> service;
    std::vector<std::string> unanswered;
    if (options.Demo) {
        auto virtualService = std::make_shared<platform::VirtualMidiService>();
        rig = std::make_unique<TSimRig>(*virtualService);
        TSimRig::LoadDemoPrograms(rig->Synth());
        service = virtualService;
    } else {
        auto rtService = std::make_shared<platform::RtMidiService>();
        unanswered = rtService->Unanswered();
        service = rtService;
    }
    platform::SetCurrentMidiService(service);
    // A stopped or hung server leaves its devices out of every list: say why.
    if (!unanswered.empty())
        ShowWarningBox(nullptr, UnansweredText(unanswered));

    QString settingsFile = options.SettingsFile;
    if (settingsFile.isEmpty())
        settingsFile = options.Demo ? DemoSettingsFile() : SettingsFilePath(QCoreApplication::applicationFilePath());
    if (options.Demo) {
        // The demonstration always starts on its simulated devices.
        TIniFile demo(settingsFile);
        demo.WriteString(settingskeys::Devices, settingskeys::SynthInput, QLatin1String(TSimRig::SynthDeviceName));
        demo.WriteString(settingskeys::Devices, settingskeys::SynthOutput, QLatin1String(TSimRig::SynthDeviceName));
        demo.WriteString(settingskeys::Devices, settingskeys::CtrlInput, QLatin1String(TSimRig::ControllerDeviceName));
        demo.WriteString(settingskeys::Devices, settingskeys::CtrlOutput, QLatin1String(TSimRig::ControllerDeviceName));
    }

    auto session = std::make_unique<engine::TSession>(std::make_unique<TIniSettings>(settingsFile));
    auto main = std::make_unique<TfMain>(*session);
    auto setup = std::make_unique<TfMidiSetup>(*session);
    main->SetSetupLink(setup.get());
    int code = 0;
    std::unique_ptr<TDemoPanel> demoPanel;
    if (!setup->TerminateRequested()) {
        main->PlaceOnScreen();
        main->show();
        if (rig && options.ScreenshotDir.isEmpty()) {
            demoPanel = std::make_unique<TDemoPanel>(*rig);
            demoPanel->show(); // shown first, so that its frame has its size
            if (QScreen *screen = QGuiApplication::primaryScreen()) {
                const TDemoPlacement at = PlaceDemoPanel(screen->availableGeometry(), main->frameGeometry(),
                                                         demoPanel->frameGeometry().size());
                main->move(at.Main);
                demoPanel->move(at.Panel);
            }
        }
        if (!options.ScreenshotDir.isEmpty()) {
            // The start-up fetch has had time to arrive and be shown by then.
            QTimer::singleShot(1500, main.get(), [&main, &options] {
                SaveScreenshots(*main, options.ScreenshotDir);
                QCoreApplication::quit();
            });
        }
    }
    code = terminationSignals.Requested() ? 0 : QApplication::exec();
    demoPanel.reset();
    main->SetSetupLink(nullptr);
    setup.reset(); // the dialog goes first: it writes the session out
    main.reset();
    session.reset();
    rig.reset();
    platform::SetCurrentMidiService(nullptr);
    return code;
}
