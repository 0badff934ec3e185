#pragma once
// TEditActions: undo, redo, mutate and the parameter locks in the window.
// An "Edit" button in the corner bar opens their menu; the shortcuts work
// anywhere in the window: Ctrl+Z undo, Ctrl+Shift+Z and Ctrl+Y redo, Ctrl+M
// mutate, Ctrl+Shift+L lock or unlock the selected parameter. A right-click on a
// value label (on either page) locks or unlocks its parameter; a left-click
// selects it, and so does a move of it on the controller. A lock mark beside
// the value shows each lock; the locks are kept in the settings file at once.
// The history and the locks are the editor's (engine::TEditor). The window
// places Button where it wants it.
// Thread: the user-interface thread only.

#include "core/ParamTable.h"

#include <QObject>

#include <map>

class QAction;
class QLabel;
class QToolButton;
class QWidget;
class TLibraryMenu;
namespace engine {
class TEditor;
class TSession;
}

class TEditActions : public QObject {
    Q_OBJECT
public:
    // Works on the session's editor and settings, marks the rows' value
    // labels (`params`, which must have them), tells on the library's status
    // line; `window` owns the actions and takes their shortcuts.
    TEditActions(engine::TSession &session, const TParamTable &params, TLibraryMenu &library, QWidget *window);

    // Locks or unlocks the row's parameter (a live row), and says so.
    void ToggleLock(int row);
    // The row Ctrl+Shift+L acts on: the value label clicked last, or the row of a
    // controller move when that came later; -1 for none.
    int SelectedRow() const;
    void SelectRow(int row) { FSelected = row; }
    // The lock mark shown beside the row's label, or null when not locked.
    QWidget *LockMark(int row) const;

    QToolButton *Button = nullptr;
    QAction *UndoAction = nullptr;
    QAction *RedoAction = nullptr;
    QAction *MutateAction = nullptr;
    QAction *LockAction = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QAction *AddAction(const QString &text, const QList<QKeySequence> &keys);
    void HistoryChanged();
    void Restored(bool undo, int kind, int writtenProgram);
    void ShowLocks();
    void PlaceMark(int row);
    int RowOfLabel(QObject *label) const;

    engine::TEditor &Editor() const;

    engine::TSession &FSession;
    TLibraryMenu &FLibrary;
    QWidget *FWindow;
    std::map<int, QLabel *> FLabels;   // row -> value label
    std::map<int, QWidget *> FMarks;   // row -> its lock mark (hidden while unlocked)
    int FSelected = -1;
};
