#pragma once
// TEditActions: undo, redo, mutate and the parameter locks in the window.
// An "Edit" button in the corner bar opens their menu; the shortcuts work
// anywhere in the window: Ctrl+Z undo, Ctrl+Shift+Z and Ctrl+Y redo, Ctrl+M
// mutate, Ctrl+Shift+L lock or unlock the selected parameter. A right-click on a
// value label (on either page) locks or unlocks its parameter; a left-click
// selects it, and so does a move of it on the controller. A lock mark beside
// the value shows each lock; the locks are kept in the settings file at once.
// The history and the locks are the editor's (engine::TEditor).
// Thread: the user-interface thread only.

#include <QObject>

#include <map>

class QAction;
class QLabel;
class QToolButton;
class QWidget;
class TfMain;

class TEditActions : public QObject {
    Q_OBJECT
public:
    explicit TEditActions(TfMain &main);

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

    TfMain &FMain;
    std::map<int, QLabel *> FLabels;   // row -> value label
    std::map<int, QWidget *> FMarks;   // row -> its lock mark (hidden while unlocked)
    int FSelected = -1;
};
