#include "core/Library.h"

#include "controls/ElidedLabel.h"
#include "core/Dialogs.h"
#include "core/LibraryWindow.h"
#include "core/MessageBoxes.h"
#include "dw/Program.h"
#include "dw/SyxFile.h"
#include "engine/Editor.h"
#include "engine/PatchKeeper.h"
#include "engine/Session.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QProgressDialog>
#include <QToolButton>

#include <algorithm>
#include <utility>

namespace {

const QString kFilter = QStringLiteral("DW-8000 SysEx files (*.syx *.SYX);;All files (*)");

QString ProgramItem(int program) { return QString::fromStdString(dw::ProgramText(program)); }

QStringList AllPrograms()
{
    QStringList items;
    for (int p = 0; p < dw::BankSize; ++p)
        items << ProgramItem(p);
    return items;
}

QString FileName(const QString &path) { return QFileInfo(path).fileName(); }

// The file's programs, or an error box and nothing.
bool ReadSyx(QWidget *parent, const QString &path, dw::TSyxFile &file)
{
    const dw::TSyxRead read = dw::ReadSyxFile(path.toStdString());
    if (!read.Ok) {
        ShowErrorBox(parent, read.Unreadable ? QString::fromStdString(read.Error)
                                             : QStringLiteral("%1 was not loaded. %2")
                                                   .arg(FileName(path), QString::fromStdString(read.Error)));
        return false;
    }
    file = read.File;
    return true;
}

} // namespace

QToolButton *MakeMenuButton(QWidget *parent, const QString &name, const QString &text, const QString &tip, QMenu *menu)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(name);
    button->setText(text);
    button->setToolTip(tip);
    button->setMenu(menu);
    button->setPopupMode(QToolButton::InstantPopup);
    button->setAutoRaise(true);
    return button;
}

TLibraryMenu::TLibraryMenu(engine::TSession &session, QWidget *window)
    : QObject(window), FSession(session), FWindow(window),
      FLibrarian(new engine::TLibrarian(session.Editor(), session.Ports(), this)),
      FKeeper(new engine::TPatchKeeper(engine::TPatchLibrary::DefaultPath(), this))
{
    setObjectName(QStringLiteral("Library"));
    auto *menu = new QMenu(FWindow);
    menu->setObjectName(QStringLiteral("LibraryMenu"));
    SaveAction = AddAction(QStringLiteral("&Save Patch..."), QKeySequence::Save, &TLibraryMenu::SavePatch);
    LoadAction = AddAction(QStringLiteral("&Load Patch..."), QKeySequence::Open, &TLibraryMenu::LoadPatch);
    WriteAction = AddAction(QStringLiteral("&Write to Program..."), QKeySequence(QStringLiteral("Ctrl+Shift+W")),
                            &TLibraryMenu::WriteProgram);
    CompareAction = AddAction(QStringLiteral("&Compare"), QKeySequence(QStringLiteral("Ctrl+K")),
                              &TLibraryMenu::ToggleCompare);
    CompareAction->setCheckable(true);
    ReceiveAction = AddAction(QStringLiteral("&Receive Bank..."), QKeySequence(QStringLiteral("Ctrl+Shift+R")),
                              &TLibraryMenu::ReceiveBank);
    SendAction = AddAction(QStringLiteral("Se&nd Bank..."), QKeySequence(QStringLiteral("Ctrl+Shift+T")),
                           &TLibraryMenu::SendBank);
    menu->addActions({SaveAction, LoadAction});
    menu->addSeparator();
    menu->addActions({WriteAction, CompareAction});
    menu->addSeparator();
    menu->addActions({ReceiveAction, SendAction});
    PatchLibraryAction = AddAction(QStringLiteral("Patch &Library..."), QKeySequence(QStringLiteral("Ctrl+L")),
                                   &TLibraryMenu::ShowPatchLibrary);
    menu->addSeparator();
    menu->addAction(PatchLibraryAction);
    // Every patch the librarian receives or writes, and every file loaded, is kept.
    FKeeper->Watch(*FLibrarian);
    FKeeper->WatchEditor(Editor());
    connect(FKeeper, &engine::TPatchKeeper::problem, this, &TLibraryMenu::SetStatus);

    Button = MakeMenuButton(FWindow, QStringLiteral("bLibrary"), QStringLiteral("Library"),
                            QStringLiteral("Save, load, compare and write patches; receive and send banks"), menu);
    Status = new TElidedLabel(FWindow); // cut to its room, whole in the tooltip
    Status->setObjectName(QStringLiteral("lLibraryStatus"));

    // Compare has nothing to switch to before a patch was fetched or loaded.
    CompareAction->setEnabled(Editor().HasPatch());
    connect(&Editor(), &engine::TEditor::patchKnown, this, [this] { SetBusy(FLibrarian->Busy()); });
    connect(&Editor(), &engine::TEditor::compareChanged, this, [this](bool on) {
        CompareAction->setChecked(on);
        SetStatus(on ? QStringLiteral("Compare: the patch as last fetched or loaded") : QString());
    });
    connect(&Editor(), &engine::TEditor::controllerMovesRefused, this, [this] {
        const QString note = QStringLiteral("Controller moves are ignored while the transfer runs.");
        SetStatus(note);
        if (FProgress)
            FProgress->setLabelText(FProgress->labelText() + QLatin1Char('\n') + note);
    });
    connect(FLibrarian, &engine::TLibrarian::progress, this, [this](int done, int total) {
        if (FProgress) {
            FProgress->setMaximum(total);
            FProgress->setValue(done);
        }
    });
    connect(FLibrarian, &engine::TLibrarian::finished, this,
            [this](const engine::TTransferResult &r) { Finished(r); });
}

engine::TEditor &TLibraryMenu::Editor() const { return FSession.Editor(); }

QAction *TLibraryMenu::AddAction(const QString &text, const QKeySequence &keys, void (TLibraryMenu::*handler)())
{
    auto *a = new QAction(text, FWindow);
    a->setShortcut(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    FWindow->addAction(a);
    connect(a, &QAction::triggered, this, handler);
    return a;
}

void TLibraryMenu::SetStatus(const QString &text)
{
    Status->setText(text);
    Status->setToolTip(text);
}

QString TLibraryMenu::Folder() const
{
    return FSession.Settings().ReadString(settingskeys::Library, settingskeys::LibraryFolder, QDir::homePath());
}

bool TLibraryMenu::OpenSyx(const QString &title, QString &path, dw::TSyxFile &file)
{
    path = AskFileName(FWindow, {false, title, Folder(), kFilter});
    if (path.isEmpty() || !ReadSyx(FWindow, path, file))
        return false;
    RememberFolder(path);
    return true;
}

void TLibraryMenu::RememberFolder(const QString &file)
{
    FSession.Settings().WriteString(settingskeys::Library, settingskeys::LibraryFolder, QFileInfo(file).absolutePath());
}

int TLibraryMenu::Channel() const
{
    const int c = Editor().Channel();
    return c == dw::NoChannel ? 0 : c;
}

void TLibraryMenu::SavePatch()
{
    QString path = AskFileName(FWindow, {true, QStringLiteral("Save Patch"), Folder(), kFilter});
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".syx");
    std::string error;
    if (!dw::WriteFileBytes(path.toStdString(), dw::DumpFileBytes(Channel(), Editor().CurrentBlock()), error)) {
        ShowErrorBox(FWindow, QString::fromStdString(error));
        return;
    }
    RememberFolder(path);
    SetStatus(QStringLiteral("Saved %1").arg(FileName(path)));
}

void TLibraryMenu::LoadPatch()
{
    if (FLibrarian->Busy())
        return;
    QString path;
    dw::TSyxFile file;
    if (!OpenSyx(QStringLiteral("Load Patch"), path, file))
        return;
    std::size_t pick = 0;
    if (file.Programs.size() > 1) {
        TChoiceRequest ask{QStringLiteral("Load Patch"), QStringLiteral("Program of %1:").arg(FileName(path)), {}, 0};
        for (const dw::TFileProgram &p : file.Programs)
            ask.Items << QString::fromStdString(dw::DescribeProgram(p));
        const int chosen = AskChoice(FWindow, ask);
        if (chosen < 0)
            return;
        pick = std::size_t(chosen);
    }
    const dw::TFileProgram &program = file.Programs[pick];
    const std::vector<int> bad = dw::RowsOutOfRange(program.Data);
    if (!bad.empty()) {
        QStringList rows;
        for (int row : bad)
            rows << QStringLiteral("%1 (%2, highest %3)")
                        .arg(QLatin1String(dw::ParamName(row)))
                        .arg(program.Data[std::size_t(dw::ParamDef(row).ParamNo)])
                        .arg(dw::ParamDef(row).MaxValue);
        ShowWarningBox(FWindow, QStringLiteral("These values in %1 lie outside their parameter's range and were "
                                              "brought into it, as the DW-8000 would: %2.")
                                   .arg(FileName(path), rows.join(QStringLiteral(", "))));
    }
    Editor().LoadBlock(program.Data);
    FKeeper->KeepFile(path, file.Programs, file.Form != dw::TSyxForm::Bank);
    SetStatus(file.Programs.size() > 1 ? QStringLiteral("Loaded program %1 of %2").arg(ProgramItem(program.Program), FileName(path))
                                       : QStringLiteral("Loaded %1").arg(FileName(path)));
}

void TLibraryMenu::WriteProgram()
{
    if (FLibrarian->Busy())
        return;
    const int known = Editor().Program();
    const int program = AskChoice(FWindow, {QStringLiteral("Write to Program"),
                                           QStringLiteral("Write the patch into program:"), AllPrograms(),
                                           known >= 0 ? known : 0});
    if (program < 0)
        return;
    if (!FLibrarian->WriteProgram(Editor().CurrentBlock(), program)) {
        SetStatus(QStringLiteral("Nothing written: no MIDI channel is set."));
        return;
    }
    FJob = TJob::Write;
    SetBusy(true);
    SetStatus(QStringLiteral("Writing to program %1...").arg(ProgramItem(program)));
}

void TLibraryMenu::ToggleCompare()
{
    Editor().ToggleCompare();
    CompareAction->setChecked(Editor().Comparing());
}

void TLibraryMenu::ReceiveBank()
{
    if (FLibrarian->Busy())
        return;
    QString path = AskFileName(FWindow, {true, QStringLiteral("Receive Bank to File"), Folder(), kFilter});
    if (path.isEmpty())
        return;
    if (QFileInfo(path).suffix().isEmpty())
        path += QStringLiteral(".syx");
    if (!FLibrarian->ReceiveBank()) {
        SetStatus(QStringLiteral("Nothing received: no MIDI channel is set."));
        return;
    }
    FBankFile = path;
    FJob = TJob::Receive;
    StartProgress(QStringLiteral("Receiving the DW-8000's 64 programs..."), dw::BankSize);
}

void TLibraryMenu::SendBank()
{
    if (FLibrarian->Busy())
        return;
    QString path;
    dw::TSyxFile file;
    if (!OpenSyx(QStringLiteral("Send Bank"), path, file))
        return;
    std::vector<dw::TFileProgram> programs = file.Programs;
    QString range;
    if (file.Form != dw::TSyxForm::Bank) {
        // One patch carries no program number: it goes where the user says, never to 11 unasked.
        const int known = Editor().Program();
        const int program = AskChoice(FWindow, {QStringLiteral("Send Bank"),
                                               QStringLiteral("%1 holds one patch. Write it into program:").arg(FileName(path)),
                                               AllPrograms(), known >= 0 ? known : 0});
        if (program < 0 || program >= dw::BankSize)
            return;
        programs.front().Program = program;
        range = ProgramItem(program);
    } else if (!AskBankRange(programs, range)) {
        return;
    }
    if (ShowMessageBox(FWindow, {ApplicationTitle(),
                                QStringLiteral("Overwrite %1 %2 on the DW-8000 with %3 of %4? What %5 now is lost.")
                                    .arg(programs.size() == 1 ? QStringLiteral("program") : QStringLiteral("programs"),
                                         range,
                                         programs.size() == 1 ? QStringLiteral("the patch") : QStringLiteral("those"),
                                         FileName(path),
                                         programs.size() == 1 ? QStringLiteral("it holds") : QStringLiteral("they hold")),
                                TMsgIcon::Question, TMsgButtons::YesNo}) != TMsgResult::Yes)
        return;
    const int total = int(programs.size());
    if (!FLibrarian->SendBank(std::move(programs))) {
        SetStatus(QStringLiteral("Nothing sent: no MIDI channel is set."));
        return;
    }
    FJob = TJob::Send;
    StartProgress(QStringLiteral("Writing %1 %2 on the DW-8000...")
                      .arg(total == 1 ? QStringLiteral("program") : QStringLiteral("programs"), range),
                  total);
}

bool TLibraryMenu::AskBankRange(std::vector<dw::TFileProgram> &programs, QString &range)
{
    std::sort(programs.begin(), programs.end(),
              [](const dw::TFileProgram &a, const dw::TFileProgram &b) { return a.Program < b.Program; });
    QStringList items;
    for (const dw::TFileProgram &p : programs)
        items << ProgramItem(p.Program);
    const int first = AskChoice(FWindow, {QStringLiteral("Send Bank"), QStringLiteral("First program to send:"), items, 0});
    if (first < 0)
        return false;
    const int last = AskChoice(FWindow, {QStringLiteral("Send Bank"), QStringLiteral("Last program to send:"), items,
                                        int(items.size()) - 1});
    if (last < first) {
        if (last >= 0)
            SetStatus(QStringLiteral("Nothing sent: the last program, %1, comes before the first, %2.")
                          .arg(items[last], items[first]));
        return false;
    }
    programs = {programs.begin() + first, programs.begin() + last + 1};
    range = QStringLiteral("%1 to %2").arg(items[first], items[last]);
    return true;
}

void TLibraryMenu::StartProgress(const QString &label, int total)
{
    SetBusy(true);
    SetStatus(label);
    FProgress = new QProgressDialog(label, QStringLiteral("Cancel"), 0, total, FWindow);
    FProgress->setObjectName(QStringLiteral("LibraryProgress"));
    FProgress->setWindowTitle(ApplicationTitle());
    FProgress->setWindowModality(Qt::WindowModal);
    FProgress->setAutoReset(false);
    FProgress->setAutoClose(false);
    FProgress->setMinimumDuration(0);
    FProgress->setValue(0);
    connect(FProgress, &QProgressDialog::canceled, FLibrarian, &engine::TLibrarian::Cancel);
    FProgress->show();
}

void TLibraryMenu::SetBusy(bool busy)
{
    for (QAction *a : {SaveAction, LoadAction, WriteAction, CompareAction, ReceiveAction, SendAction}) {
        if (a != SaveAction)
            a->setEnabled(!busy);
    }
    if (!Editor().HasPatch())
        CompareAction->setEnabled(false);
}

void TLibraryMenu::Finished(const engine::TTransferResult &r)
{
    const TJob job = std::exchange(FJob, TJob::None);
    if (FProgress) {
        FProgress->disconnect(FLibrarian);
        FProgress->close();
        FProgress->deleteLater();
        FProgress = nullptr;
    }
    SetBusy(false);
    QString text = r.Message;
    if (job == TJob::Receive) {
        if (r.Ok()) {
            std::string error;
            if (!dw::WriteFileBytes(FBankFile.toStdString(), dw::BankFileBytes(Channel(), r.Programs), error)) {
                ShowErrorBox(FWindow, QString::fromStdString(error));
                SetStatus(QStringLiteral("The bank was received but not saved."));
                return;
            }
            RememberFolder(FBankFile);
            text = QStringLiteral("%1 received into %2")
                       .arg(r.Programs.size() == 1 ? QStringLiteral("1 program")
                                                   : QStringLiteral("%1 programs").arg(r.Programs.size()),
                            FileName(FBankFile));
        } else {
            text += QStringLiteral(" Nothing was saved.");
        }
    } else if (job == TJob::Write && r.Ok()) {
        text = QStringLiteral("Program %1 written: the DW-8000 confirmed it.").arg(ProgramItem(r.Programs.front().Program));
    }
    SetStatus(text);
    if (r.Outcome == engine::TTransferResult::WriteRefused || r.Outcome == engine::TTransferResult::NoAnswer ||
        r.Outcome == engine::TTransferResult::Failed)
        ShowWarningBox(FWindow, text);
}

void TLibraryMenu::ShowPatchLibrary()
{
    if (!FPatchLibraryWindow)
        FPatchLibraryWindow = new TLibraryWindow(FKeeper->Library(), Editor(), *FLibrarian, FWindow);
    else
        FPatchLibraryWindow->Refresh();
    FPatchLibraryWindow->show();
    FPatchLibraryWindow->raise();
    FPatchLibraryWindow->activateWindow();
}
