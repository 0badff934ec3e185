#pragma once
// TLibraryMenu: the window's librarian. A "Library" tool button in the
// corner bar beside the page tabs opens its menu (save and load a patch,
// write it to a program, compare, receive and send a bank); the actions'
// shortcuts work anywhere in the window. A status line beside the button
// tells how the last operation ended; bank transfers show a progress dialog
// with Cancel, and the window keeps repainting meanwhile. The transfers are
// the engine's (engine::TLibrarian); files are the DW-8000 domain's.
// The window places Button and Status where it wants them.
// Thread: the user-interface thread only.

#include "engine/Librarian.h"

#include <QObject>
#include <QPointer>
#include <QProgressDialog>
#include <QString>

class QAction;
class QLabel;
class QMenu;
class QToolButton;
class QWidget;
class TLibraryWindow;
namespace engine {
class TPatchKeeper;
class TSession;
}

// A flat corner-bar button that opens `menu` at once; `parent` owns it.
QToolButton *MakeMenuButton(QWidget *parent, const QString &name, const QString &text, const QString &tip, QMenu *menu);

class TLibraryMenu : public QObject {
    Q_OBJECT
public:
    // Works on the session's editor, ports and settings; `window` owns the
    // menu, takes its shortcuts and parents its boxes and dialogs.
    TLibraryMenu(engine::TSession &session, QWidget *window);

    engine::TLibrarian &Librarian() { return *FLibrarian; }

    void SavePatch();
    void LoadPatch();
    void WriteProgram();
    void ToggleCompare();
    void ReceiveBank();
    void SendBank();
    // The patch library's window (Ctrl+L).
    void ShowPatchLibrary();
    engine::TPatchKeeper &Keeper() { return *FKeeper; }

    QToolButton *Button = nullptr;
    QLabel *Status = nullptr;
    QAction *SaveAction = nullptr;
    QAction *LoadAction = nullptr;
    QAction *WriteAction = nullptr;
    QAction *CompareAction = nullptr;
    QAction *ReceiveAction = nullptr;
    QAction *SendAction = nullptr;
    QAction *PatchLibraryAction = nullptr;
    // The progress dialog of the bank transfer under way, or null.
    QProgressDialog *Progress() const { return FProgress; }

    void SetStatus(const QString &text);

private:
    engine::TEditor &Editor() const;
    QAction *AddAction(const QString &text, const QKeySequence &keys, void (TLibraryMenu::*handler)());
    QString Folder() const;
    void RememberFolder(const QString &file);
    // Asks for a file and reads it; false (an error box shown, or nothing chosen) when there is none.
    bool OpenSyx(const QString &title, QString &path, dw::TSyxFile &file);
    int Channel() const;
    // Asks the first and last program to send of a bank's; false when cancelled or reversed.
    bool AskBankRange(std::vector<dw::TFileProgram> &programs, QString &range);
    void StartProgress(const QString &label, int total);
    void Finished(const engine::TTransferResult &result);
    void SetBusy(bool busy);

    enum class TJob { None, Write, Receive, Send };
    engine::TSession &FSession;
    QWidget *FWindow;
    engine::TLibrarian *FLibrarian;
    engine::TPatchKeeper *FKeeper;
    QPointer<TLibraryWindow> FPatchLibraryWindow;
    QPointer<QProgressDialog> FProgress;
    TJob FJob = TJob::None;
    QString FBankFile;
};
