#include "core/EditActions.h"

#include "core/Library.h"
#include "dw/Program.h"
#include "dw/Variation.h"
#include "engine/Editor.h"
#include "engine/Session.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>

namespace {

// A small padlock beside a value label, in the label's colours.
class TLockMark : public QWidget {
public:
    static constexpr int Width = 12;

    explicit TLockMark(QWidget *parent) : QWidget(parent)
    {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setToolTip(QStringLiteral("Locked: random patches and mutations leave it alone"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.fillRect(rect(), QColor(0, 0, 128));
        p.setRenderHint(QPainter::Antialiasing);
        const QColor yellow(255, 255, 0);
        const int bodyTop = height() / 2;
        p.setPen(QPen(yellow, 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawArc(QRectF(2.5, bodyTop - 6.5, Width - 5.0, 10.0), 0, 180 * 16); // the shackle
        p.fillRect(QRectF(1.5, bodyTop - 1.0, Width - 3.0, 8.0), yellow);        // the body
    }
};

QString ParamText(int row) { return QLatin1String(dw::ParamName(row)); }

} // namespace

TEditActions::TEditActions(engine::TSession &session, const TParamTable &params, TLibraryMenu &library,
                           QWidget *window)
    : QObject(window), FSession(session), FLibrary(library), FWindow(window)
{
    setObjectName(QStringLiteral("EditActions"));
    engine::TEditor &editor = Editor();
    UndoAction = AddAction(QStringLiteral("&Undo"), {QKeySequence(QStringLiteral("Ctrl+Z"))});
    RedoAction = AddAction(QStringLiteral("&Redo"),
                           {QKeySequence(QStringLiteral("Ctrl+Shift+Z")), QKeySequence(QStringLiteral("Ctrl+Y"))});
    MutateAction = AddAction(QStringLiteral("&Mutate"), {QKeySequence(QStringLiteral("Ctrl+M"))});
    LockAction = AddAction(QStringLiteral("&Lock or Unlock Selected Parameter"), {QKeySequence(QStringLiteral("Ctrl+Shift+L"))});
    connect(UndoAction, &QAction::triggered, &editor, &engine::TEditor::Undo);
    connect(RedoAction, &QAction::triggered, &editor, &engine::TEditor::Redo);
    connect(MutateAction, &QAction::triggered, &editor, &engine::TEditor::Mutate);
    connect(LockAction, &QAction::triggered, this, [this] {
        if (SelectedRow() >= 0)
            ToggleLock(SelectedRow());
        else
            FLibrary.SetStatus(QStringLiteral("Click a value, or move a control, to choose what Ctrl+Shift+L locks."));
    });

    auto *menu = new QMenu(FWindow);
    menu->setObjectName(QStringLiteral("EditMenu"));
    menu->addActions({UndoAction, RedoAction});
    menu->addSeparator();
    menu->addActions({MutateAction, LockAction});
    Button = MakeMenuButton(FWindow, QStringLiteral("bEdit"), QStringLiteral("Edit"),
                            QStringLiteral("Undo and redo, mutate, lock parameters (right-click a value to lock it)"), menu);

    for (int r = 0; r < dw::ParamCount; ++r) {
        auto *label = dynamic_cast<QLabel *>(params[std::size_t(r)].ValueLabel);
        if (label == nullptr)
            continue;
        FLabels[r] = label;
        label->installEventFilter(this);
        auto *mark = new TLockMark(label->parentWidget());
        mark->setObjectName(QStringLiteral("lock_%1").arg(label->objectName()));
        mark->hide();
        FMarks[r] = mark;
    }

    connect(&editor, &engine::TEditor::historyChanged, this, &TEditActions::HistoryChanged);
    connect(&editor, &engine::TEditor::restored, this, &TEditActions::Restored);
    using namespace settingskeys;
    editor.SetLocks(dw::LocksFromText(FSession.Settings().ReadString(Locks, LockedRows, QString()).toStdString()));
    ShowLocks();
    connect(&editor, &engine::TEditor::locksChanged, this, [this] {
        ShowLocks();
        FSession.Settings().WriteString(settingskeys::Locks, settingskeys::LockedRows,
                                     QString::fromStdString(dw::LocksToText(Editor().Locks())));
    });
    HistoryChanged();
}

QAction *TEditActions::AddAction(const QString &text, const QList<QKeySequence> &keys)
{
    auto *a = new QAction(text, FWindow);
    a->setShortcuts(keys);
    a->setShortcutContext(Qt::WindowShortcut);
    FWindow->addAction(a);
    return a;
}

engine::TEditor &TEditActions::Editor() const { return FSession.Editor(); }

int TEditActions::SelectedRow() const { return FSelected; }

QWidget *TEditActions::LockMark(int row) const
{
    const auto it = FMarks.find(row);
    return it != FMarks.end() && Editor().Locked(row) ? it->second : nullptr;
}

void TEditActions::ToggleLock(int row)
{
    if (row < 0 || row >= dw::ParamCount || !dw::IsLiveRow(row))
        return;
    engine::TEditor &editor = Editor();
    const bool lock = !editor.Locked(row);
    editor.SetLocked(row, lock);
    FLibrary.SetStatus(QStringLiteral("%1 %2").arg(ParamText(row), lock ? QStringLiteral("locked")
                                                                              : QStringLiteral("unlocked")));
}

void TEditActions::HistoryChanged()
{
    const engine::THistory &h = Editor().History();
    UndoAction->setEnabled(h.CanUndo());
    RedoAction->setEnabled(h.CanRedo());
    UndoAction->setText(h.CanUndo() ? QStringLiteral("&Undo %1").arg(QLatin1String(engine::StepName(h.NextUndo()->Kind)))
                                    : QStringLiteral("&Undo"));
    RedoAction->setText(h.CanRedo() ? QStringLiteral("&Redo %1").arg(QLatin1String(engine::StepName(h.NextRedo()->Kind)))
                                    : QStringLiteral("&Redo"));
    // A move on the controller selects its row for Ctrl+Shift+L.
    const engine::TStep *latest = h.NextUndo();
    if (latest != nullptr && !h.CanRedo() && latest->Kind == engine::TStepKind::Move && latest->Changes.size() == 1)
        FSelected = latest->Changes.front().Row;
}

void TEditActions::Restored(bool undo, int kind, int writtenProgram)
{
    QString text = QStringLiteral("%1: %2.").arg(undo ? QStringLiteral("Undone") : QStringLiteral("Redone"),
                                                 QLatin1String(engine::StepName(engine::TStepKind(kind))));
    if (writtenProgram >= 0)
        text += QStringLiteral(" Program %1 keeps what was written to it.")
                    .arg(QString::fromStdString(dw::ProgramText(writtenProgram)));
    FLibrary.SetStatus(text);
}

void TEditActions::ShowLocks()
{
    for (const auto &[row, mark] : FMarks) {
        mark->setVisible(Editor().Locked(row) && !FLabels.at(row)->isHidden());
        PlaceMark(row);
    }
}

void TEditActions::PlaceMark(int row)
{
    QLabel *label = FLabels.at(row);
    QWidget *mark = FMarks.at(row);
    if (mark->parentWidget() != label->parentWidget()) {
        const bool shown = !mark->isHidden();
        mark->setParent(label->parentWidget());
        mark->setVisible(shown);
    }
    mark->setGeometry(label->x() + label->width(), label->y(), TLockMark::Width, label->height());
    mark->raise();
}

int TEditActions::RowOfLabel(QObject *label) const
{
    for (const auto &[row, l] : FLabels) {
        if (l == label)
            return row;
    }
    return -1;
}

bool TEditActions::eventFilter(QObject *watched, QEvent *event)
{
    const int row = RowOfLabel(watched);
    if (row < 0)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (mouse->button() == Qt::RightButton) {
            FSelected = row;
            ToggleLock(row);
            return true;
        }
        if (mouse->button() == Qt::LeftButton) {
            FSelected = row;
            FLibrary.SetStatus(QStringLiteral("%1 selected: Ctrl+Shift+L locks or unlocks it").arg(ParamText(row)));
        }
        break;
    }
    case QEvent::ContextMenu:
        return true; // the right-click has locked it already
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::ParentChange:
        PlaceMark(row);
        break;
    default:
        break;
    }
    return false;
}
