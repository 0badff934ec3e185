#include "core/LibraryWindow.h"

#include "core/Dialogs.h"
#include "core/MessageBoxes.h"
#include "dw/Params.h"
#include "dw/Program.h"
#include "dw/SyxFile.h"
#include "engine/Editor.h"
#include "engine/Librarian.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QListWidget>
#include <QPainter>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QPushButton>
#include <QShortcut>
#include <QSpinBox>
#include <QSplitter>
#include <QStyledItemDelegate>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

const QString kBankFilter = QStringLiteral("DW-8000 bank (*.syx)");
constexpr int kVcfAttack = 20;
constexpr int kVcaAttack = 27;
constexpr int kOsc1Wave = 1, kOsc2Wave = 8, kCutoff = 15;
constexpr int kCutoffAny = 0; // the spin box's lowest value: no cutoff filter

// Attack, decay, break point, slope, sustain, release: as the DW-8000's
// panel draws them, on a 0..31 scale.
QPolygonF EnvelopeShape(const QVariantList &v, const QRectF &r)
{
    if (v.size() != 6)
        return {};
    const double a = v[0].toInt(), d = v[1].toInt(), bp = v[2].toInt(), sl = v[3].toInt(), sus = v[4].toInt(),
                 rel = v[5].toInt();
    const double hold = 16, total = a + d + sl + hold + rel + 1;
    const double sx = r.width() / total, sy = (r.height() - 2) / 31.0;
    auto at = [&](double x, double level) { return QPointF(r.left() + x * sx, r.bottom() - 1 - level * sy); };
    const double x1 = a, x2 = x1 + d, x3 = x2 + sl, x4 = x3 + hold;
    return QPolygonF({at(0, 0), at(x1, 31), at(x2, bp), at(x3, sus), at(x4, sus), at(x4 + rel, 0)});
}

class TEnvelopeDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QPolygonF shape =
            EnvelopeShape(index.data(TLibraryModel::EnvelopeRole).toList(), QRectF(option.rect).adjusted(3, 3, -3, -2));
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->setPen(QPen(option.state & QStyle::State_Selected ? option.palette.highlightedText().color()
                                                                    : option.palette.text().color(),
                             1.2));
        painter->drawPolyline(shape);
        painter->restore();
    }
    QSize sizeHint(const QStyleOptionViewItem &, const QModelIndex &) const override { return {72, 20}; }
};

QString Stars(int rating) { return QString(rating, QChar(0x2605)) + QString(5 - rating, QChar(0x2606)); }

QString Text(int row, int value) { return QString::fromStdString(dw::DisplayText(row, value)); }

// A file name from a patch name: no folders, nothing a file system refuses.
QString FileNameFor(const QString &name)
{
    QString clean = name;
    clean.replace(QRegularExpression(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]")), QStringLiteral("_"));
    return clean.trimmed().isEmpty() ? QStringLiteral("patch") : clean.trimmed();
}

} // namespace

TLibraryModel::TLibraryModel(engine::TPatchLibrary &library, QObject *parent)
    : QAbstractTableModel(parent), FLibrary(library)
{
}

void TLibraryModel::SetRows(std::vector<engine::TLibraryPatch> rows)
{
    beginResetModel();
    FRows = std::move(rows);
    endResetModel();
}

int TLibraryModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : int(FRows.size()); }

int TLibraryModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant TLibraryModel::Display(const engine::TLibraryPatch &p, int column) const
{
    const dw::TPatch v = dw::PatchFromBlock(p.Data);
    switch (column) {
    case Name: return p.Name;
    case Tags: return p.Tags.join(' ');
    case Rating: return Stars(p.Rating);
    case FirstSeen: return p.FirstSeen.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"));
    case Source: return p.Source;
    case Wave1: return Text(kOsc1Wave, v[kOsc1Wave]);
    case Wave2: return Text(kOsc2Wave, v[kOsc2Wave]);
    case Cutoff: return v[kCutoff];
    default: return {};
    }
}

QVariant TLibraryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= int(FRows.size()))
        return {};
    const engine::TLibraryPatch &p = FRows[std::size_t(index.row())];
    const int column = index.column();
    if (role == Qt::DisplayRole)
        return Display(p, column);
    if (role == Qt::EditRole)
        return column == Rating ? QVariant(p.Rating) : Display(p, column);
    if (role == Qt::CheckStateRole && column == Favourite)
        return p.Favourite ? Qt::Checked : Qt::Unchecked;
    if (role == EnvelopeRole && (column == VcfEnv || column == VcaEnv)) {
        const dw::TPatch v = dw::PatchFromBlock(p.Data);
        QVariantList values;
        for (int k = 0; k < 6; ++k)
            values << v[(column == VcfEnv ? kVcfAttack : kVcaAttack) + k];
        return values;
    }
    if (role == Qt::ToolTipRole && column == Source)
        return p.Source;
    return {};
}

QVariant TLibraryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const kHeaders[ColumnCount] = {"Name",  "Tags",  "Fav.",   "Rating", "First seen", "Source",
                                                      "OSC 1", "OSC 2", "Cutoff", "VCF EG", "VCA EG"};
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return QString::fromLatin1(kHeaders[section]);
    return QAbstractTableModel::headerData(section, orientation, role);
}

Qt::ItemFlags TLibraryModel::flags(const QModelIndex &index) const
{
    Qt::ItemFlags f = QAbstractTableModel::flags(index);
    if (index.column() == Name || index.column() == Tags || index.column() == Rating)
        f |= Qt::ItemIsEditable;
    if (index.column() == Favourite)
        f |= Qt::ItemIsUserCheckable;
    if (index.isValid())
        f |= Qt::ItemIsDragEnabled;
    return f;
}

const QString TLibraryModel::PatchIdsMimeType = QStringLiteral("application/x-tavrelk-patch-ids");

QStringList TLibraryModel::mimeTypes() const { return {PatchIdsMimeType}; }

QMimeData *TLibraryModel::mimeData(const QModelIndexList &indexes) const
{
    std::vector<int> rows;
    for (const QModelIndex &i : indexes)
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QStringList ids;
    for (int row : rows)
        ids << QString::number(FRows[std::size_t(row)].Id);
    auto *data = new QMimeData;
    data->setData(PatchIdsMimeType, ids.join(',').toLatin1());
    return data;
}

bool TLibraryModel::Store(engine::TLibraryPatch &p, int column, const QVariant &value)
{
    switch (column) {
    case Name: return FLibrary.Rename(p.Id, value.toString());
    case Tags: return FLibrary.SetTags(p.Id, value.toString().split(QLatin1Char(' '), Qt::SkipEmptyParts));
    case Favourite: return FLibrary.SetFavourite(p.Id, value.toInt() == Qt::Checked);
    case Rating: {
        bool ok = false;
        const int rating = value.toInt(&ok);
        return ok && FLibrary.SetRating(p.Id, rating);
    }
    default: return false;
    }
}

bool TLibraryModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= int(FRows.size()))
        return false;
    if (!(role == Qt::EditRole || (role == Qt::CheckStateRole && index.column() == Favourite)))
        return false;
    engine::TLibraryPatch &p = FRows[std::size_t(index.row())];
    if (!Store(p, index.column(), value)) {
        emit editFailed(FLibrary.Error());
        return false;
    }
    if (const std::optional<engine::TLibraryPatch> stored = FLibrary.Get(p.Id)) {
        const double distance = p.Distance;
        p = *stored;
        p.Distance = distance;
    }
    emit dataChanged(index.siblingAtColumn(0), index.siblingAtColumn(ColumnCount - 1));
    return true;
}

TLibraryWindow::TLibraryWindow(engine::TPatchLibrary &library, engine::TEditor &editor,
                               engine::TLibrarian &librarian, QWidget *parent)
    : QWidget(parent, Qt::Window), FLibrary(library), FEditor(editor), FLibrarian(librarian),
      FModel(new TLibraryModel(library, this)), FSearchDelay(new QTimer(this))
{
    setObjectName(QStringLiteral("fLibrary"));
    setWindowTitle(QStringLiteral("Patch Library"));
    tvPatches = new QTableView(this);
    tvPatches->setObjectName(QStringLiteral("tvPatches"));
    tvPatches->setModel(FModel);
    tvPatches->setSelectionBehavior(QAbstractItemView::SelectRows);
    tvPatches->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    tvPatches->verticalHeader()->hide();
    tvPatches->setDragEnabled(true);
    tvPatches->setDragDropMode(QAbstractItemView::DragOnly);
    tvPatches->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    tvPatches->verticalHeader()->setDefaultSectionSize(22);
    tvPatches->horizontalHeader()->setStretchLastSection(false);
    auto *envelope = new TEnvelopeDelegate(tvPatches);
    tvPatches->setItemDelegateForColumn(TLibraryModel::VcfEnv, envelope);
    tvPatches->setItemDelegateForColumn(TLibraryModel::VcaEnv, envelope);
    for (const auto &[column, width] : {std::pair{int(TLibraryModel::Name), 170}, {TLibraryModel::Tags, 110},
                                       {TLibraryModel::Favourite, 40}, {TLibraryModel::Rating, 70},
                                       {TLibraryModel::FirstSeen, 120}, {TLibraryModel::Source, 150},
                                       {TLibraryModel::Wave1, 90}, {TLibraryModel::Wave2, 90}, {TLibraryModel::Cutoff, 50},
                                       {TLibraryModel::VcfEnv, 76}, {TLibraryModel::VcaEnv, 76}})
        tvPatches->setColumnWidth(column, width);
    connect(tvPatches, &QTableView::doubleClicked, this, [this](const QModelIndex &i) { Audition(i.row()); });
    for (const QKeySequence &key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto *enter = new QShortcut(key, tvPatches, nullptr, nullptr, Qt::WidgetShortcut);
        connect(enter, &QShortcut::activated, this, [this] { Audition(tvPatches->currentIndex().row()); });
    }
    auto *del = new QShortcut(QKeySequence::Delete, tvPatches, nullptr, nullptr, Qt::WidgetShortcut);
    connect(del, &QShortcut::activated, this, [this] { DeleteSelection(); });
    connect(FModel, &TLibraryModel::editFailed, this, [this](const QString &why) { ShowErrorBox(this, why); });

    lProblem = new QLabel(this);
    lProblem->setObjectName(QStringLiteral("lProblem"));
    lProblem->setWordWrap(true);
    bMoveAside = new QPushButton(QStringLiteral("Move It Aside and Start a New Library..."), this);
    bMoveAside->setObjectName(QStringLiteral("bMoveAside"));
    connect(bMoveAside, &QPushButton::clicked, this, &TLibraryWindow::MoveAside);
    lStatus = new QLabel(this);
    lStatus->setObjectName(QStringLiteral("lStatus"));

    auto *split = new QSplitter(this);
    split->addWidget(tvPatches);
    split->addWidget(MakeBankPanel());
    split->setStretchFactor(0, 1);
    split->setSizes({900, 220});
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(MakeFilters());
    layout->addWidget(lProblem);
    layout->addWidget(bMoveAside, 0, Qt::AlignLeft);
    layout->addWidget(split, 1);
    layout->addWidget(MakeButtons());
    layout->addWidget(lStatus);
    resize(1280, 640);

    FSearchDelay->setSingleShot(true);
    FSearchDelay->setInterval(150);
    connect(FSearchDelay, &QTimer::timeout, this, &TLibraryWindow::Refresh);
    connect(&FLibrarian, &engine::TLibrarian::finished, this, &TLibraryWindow::SendFinished);
    ShowBank();
    ShowProblem();
    Refresh();
}

TLibraryWindow::~TLibraryWindow() { CancelImport(); }

QWidget *TLibraryWindow::MakeFilters()
{
    auto *box = new QWidget(this);
    eSearch = new QLineEdit(box);
    eSearch->setObjectName(QStringLiteral("eSearch"));
    eSearch->setPlaceholderText(QStringLiteral("Search names, tags, notes and sources"));
    eSearch->setClearButtonEnabled(true);
    connect(eSearch, &QLineEdit::textChanged, FSearchDelay, qOverload<>(&QTimer::start));
    cbFavourites = new QCheckBox(QStringLiteral("Favourites"), box);
    cbFavourites->setObjectName(QStringLiteral("cbFavourites"));
    cbWave1 = new QComboBox(box);
    cbWave1->setObjectName(QStringLiteral("cbWave1"));
    cbWave1->addItem(QStringLiteral("Any OSC 1 wave"), -1);
    for (int w = 0; w <= dw::ParamDef(kOsc1Wave).MaxValue; ++w)
        cbWave1->addItem(QStringLiteral("OSC 1: ") + Text(kOsc1Wave, w), w);
    sCutoffBelow = new QSpinBox(box);
    sCutoffBelow->setObjectName(QStringLiteral("sCutoffBelow"));
    sCutoffBelow->setRange(kCutoffAny, dw::ParamDef(kCutoff).MaxValue + 1);
    sCutoffBelow->setValue(kCutoffAny);
    sCutoffBelow->setPrefix(QStringLiteral("Cutoff below "));
    sCutoffBelow->setSpecialValueText(QStringLiteral("Any cutoff"));
    cbLike = new QCheckBox(QStringLiteral("Most like the edited patch"), box);
    cbLike->setObjectName(QStringLiteral("cbLike"));
    connect(cbFavourites, &QCheckBox::toggled, this, &TLibraryWindow::Refresh);
    connect(cbWave1, qOverload<int>(&QComboBox::currentIndexChanged), this, &TLibraryWindow::Refresh);
    connect(sCutoffBelow, qOverload<int>(&QSpinBox::valueChanged), this, &TLibraryWindow::Refresh);
    connect(cbLike, &QCheckBox::toggled, this, &TLibraryWindow::Refresh);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(eSearch, 1);
    for (QWidget *w : std::initializer_list<QWidget *>{cbFavourites, cbWave1, sCutoffBelow, cbLike})
        row->addWidget(w);
    return box;
}

QWidget *TLibraryWindow::MakeBankPanel()
{
    auto *panel = new QWidget(this);
    lwBank = new QListWidget(panel);
    lwBank->setObjectName(QStringLiteral("lwBank"));
    lwBank->setSelectionMode(QAbstractItemView::ExtendedSelection);
    lwBank->setAcceptDrops(true);
    lwBank->viewport()->setAcceptDrops(true);
    lwBank->viewport()->installEventFilter(this);
    auto *add = new QPushButton(QStringLiteral("&Add to Bank"), panel);
    add->setShortcut(QKeySequence(QStringLiteral("Ctrl+B")));
    connect(add, &QPushButton::clicked, this, [this] { AddSelectionToBank(); });
    auto *clear = new QPushButton(QStringLiteral("Clear"), panel);
    connect(clear, &QPushButton::clicked, this, [this] {
        for (const QListWidgetItem *item : lwBank->selectedItems())
            FBank[std::size_t(lwBank->row(item))].reset();
        ShowBank();
    });
    auto *save = new QPushButton(QStringLiteral("Save Bank..."), panel);
    connect(save, &QPushButton::clicked, this, &TLibraryWindow::SaveBankChosen);
    auto *send = new QPushButton(QStringLiteral("Send Bank"), panel);
    send->setObjectName(QStringLiteral("bSendBank"));
    connect(send, &QPushButton::clicked, this, [this] { SendBank(); });
    auto *column = new QVBoxLayout(panel);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(new QLabel(QStringLiteral("Bank (programs 11..88)"), panel));
    column->addWidget(lwBank, 1);
    auto *buttons = new QHBoxLayout;
    for (QPushButton *b : {add, clear, save, send})
        buttons->addWidget(b);
    column->addLayout(buttons);
    return panel;
}

QWidget *TLibraryWindow::MakeButtons()
{
    auto *box = new QWidget(this);
    auto *row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    const std::pair<const char *, std::function<void()>> buttons[] = {
        {"&Import Files...", [this] { ChooseFilesToImport(); }},
        {"Import &Folder...", [this] { ChooseFolderToImport(); }},
        {"A&udition", [this] { Audition(tvPatches->currentIndex().row()); }},
        {"&Export...", [this] { ExportChosen(); }},
        {"&Delete...", [this] { DeleteSelection(); }},
    };
    for (const auto &[text, action] : buttons) {
        auto *b = new QPushButton(QString::fromLatin1(text), box);
        connect(b, &QPushButton::clicked, this, action);
        row->addWidget(b);
    }
    row->addStretch(1);
    return box;
}

void TLibraryWindow::ShowProblem()
{
    const bool refused = FLibrary.State() != engine::TPatchLibrary::TState::Open;
    lProblem->setVisible(refused);
    lProblem->setText(FLibrary.Error());
    bMoveAside->setVisible(refused && FLibrary.State() != engine::TPatchLibrary::TState::CannotOpen &&
                           FLibrary.State() != engine::TPatchLibrary::TState::Closed);
}

void TLibraryWindow::MoveAside()
{
    const TMsgResult answer = ShowMessageBox(
        this, {QStringLiteral("Patch Library"),
               FLibrary.Error() + QStringLiteral("\n\nMove this file aside (it is kept, renamed) and start a new, "
                                                 "empty library?"),
               TMsgIcon::Question, TMsgButtons::YesNo});
    if (answer != TMsgResult::Yes)
        return;
    QString aside;
    if (FLibrary.MoveAside(&aside))
        SetStatus(QStringLiteral("The old library is kept as %1.").arg(aside));
    else
        ShowErrorBox(this, FLibrary.Error());
    ShowProblem();
    Refresh();
}

engine::TPatchQuery TLibraryWindow::Query() const
{
    engine::TPatchQuery q;
    q.Words = eSearch->text();
    q.FavouritesOnly = cbFavourites->isChecked();
    const int wave = cbWave1->currentData().toInt();
    if (wave >= 0)
        q.Params.push_back({kOsc1Wave, wave, wave});
    if (sCutoffBelow->value() != kCutoffAny)
        q.Params.push_back({kCutoff, 0, sCutoffBelow->value() - 1});
    // The nearest few hundred are what a likeness sort is for, and showing
    // them stays quick in a library of a hundred thousand.
    if (cbLike->isChecked() && FEditor.HasPatch()) {
        q.Like = FEditor.CurrentBlock();
        q.Limit = LikeRows;
    }
    return q;
}

void TLibraryWindow::Refresh()
{
    FSearchDelay->stop();
    if (FLibrary.State() != engine::TPatchLibrary::TState::Open) {
        FModel->SetRows({});
        return;
    }
    FModel->SetRows(FLibrary.Find(Query()));
    SetStatus(QStringLiteral("%1 of %2 patches").arg(FModel->rowCount()).arg(FLibrary.Count()));
}

void TLibraryWindow::Audition(int row)
{
    if (row < 0 || row >= FModel->rowCount())
        return;
    const engine::TLibraryPatch &p = FModel->Row(row);
    FEditor.LoadBlock(p.Data);
    SetStatus(QStringLiteral("Auditioning %1").arg(p.Name));
}

std::vector<int> TLibraryWindow::SelectedRows() const
{
    std::vector<int> rows;
    for (const QModelIndex &i : tvPatches->selectionModel()->selectedRows())
        rows.push_back(i.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

int TLibraryWindow::AddSelectionToBank()
{
    const std::vector<int> rows = SelectedRows();
    std::size_t slot = 0;
    int added = 0;
    for (int row : rows) {
        while (slot < FBank.size() && FBank[slot])
            ++slot;
        if (slot == FBank.size())
            break;
        FBank[slot] = FModel->Row(row);
        ++added;
    }
    ShowBank();
    TellWhatDidNotFit(rows.size(), added);
    return added;
}

int TLibraryWindow::DropOnBank(const QMimeData &data, int first)
{
    if (first < 0 || first >= int(FBank.size()) || !data.hasFormat(TLibraryModel::PatchIdsMimeType))
        return 0;
    std::vector<engine::TLibraryPatch> patches;
    for (const QString &id : QString::fromLatin1(data.data(TLibraryModel::PatchIdsMimeType)).split(',')) {
        // Looked up again: a patch may have been renamed or deleted since the drag began.
        if (std::optional<engine::TLibraryPatch> patch = FLibrary.Get(id.toLongLong()))
            patches.push_back(std::move(*patch));
    }
    std::size_t slot = std::size_t(first);
    int placed = 0;
    for (; placed < int(patches.size()) && slot < FBank.size(); ++placed)
        FBank[slot++] = patches[std::size_t(placed)];
    ShowBank();
    TellWhatDidNotFit(patches.size(), placed);
    return placed;
}

void TLibraryWindow::TellWhatDidNotFit(std::size_t chosen, int placed)
{
    if (placed < int(chosen))
        SetStatus(QStringLiteral("The bank is full: %1 of the patches chosen did not fit.").arg(int(chosen) - placed));
}

bool TLibraryWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != lwBank->viewport())
        return QWidget::eventFilter(watched, event);
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto *drag = static_cast<QDragMoveEvent *>(event);
        const bool ours = drag->mimeData()->hasFormat(TLibraryModel::PatchIdsMimeType) &&
                          lwBank->indexAt(drag->position().toPoint()).isValid();
        drag->setAccepted(ours);
        if (ours)
            drag->setDropAction(Qt::CopyAction);
        return true;
    }
    case QEvent::Drop: {
        auto *drop = static_cast<QDropEvent *>(event);
        const int first = lwBank->indexAt(drop->position().toPoint()).row();
        drop->setAccepted(DropOnBank(*drop->mimeData(), first) > 0);
        if (drop->isAccepted())
            drop->setDropAction(Qt::CopyAction);
        return true;
    }
    default:
        return QWidget::eventFilter(watched, event);
    }
}

bool TLibraryWindow::DeleteSelection()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return false;
    const QString what = rows.size() == 1 ? QStringLiteral("the patch \"%1\"").arg(FModel->Row(rows[0]).Name)
                                          : QStringLiteral("%1 patches").arg(rows.size());
    if (ShowMessageBox(this, {QStringLiteral("Patch Library"),
                              QStringLiteral("Delete %1 from the library, with every sighting?").arg(what),
                              TMsgIcon::Question, TMsgButtons::YesNo}) != TMsgResult::Yes)
        return false;
    std::vector<std::int64_t> ids;
    for (int row : rows)
        ids.push_back(FModel->Row(row).Id);
    if (!FLibrary.Remove(ids)) {
        ShowErrorBox(this, FLibrary.Error());
        return false;
    }
    Refresh();
    return true;
}

std::vector<dw::TFileProgram> TLibraryWindow::BankPrograms() const
{
    std::vector<dw::TFileProgram> programs;
    for (std::size_t k = 0; k < FBank.size(); ++k) {
        if (FBank[k])
            programs.push_back({int(k), FBank[k]->Data});
    }
    return programs;
}

void TLibraryWindow::ShowBank()
{
    lwBank->clear();
    for (std::size_t k = 0; k < FBank.size(); ++k)
        lwBank->addItem(QString::fromStdString(dw::ProgramText(int(k))) + QStringLiteral("  ") +
                        (FBank[k] ? FBank[k]->Name : QStringLiteral("(as the unit holds it)")));
}

bool TLibraryWindow::SaveBank(const QString &path)
{
    const std::vector<dw::TFileProgram> programs = BankPrograms();
    if (programs.empty()) {
        SetStatus(QStringLiteral("The bank is empty: add patches to it first."));
        return false;
    }
    std::string error;
    if (!dw::WriteFileBytes(path.toStdString(), dw::BankFileBytes(0, programs), error)) {
        ShowErrorBox(this, QString::fromStdString(error));
        return false;
    }
    SetStatus(QStringLiteral("%1 programs saved to %2").arg(programs.size()).arg(path));
    return true;
}

bool TLibraryWindow::SendBank()
{
    const std::vector<dw::TFileProgram> programs = BankPrograms();
    if (programs.empty()) {
        SetStatus(QStringLiteral("The bank is empty: add patches to it first."));
        return false;
    }
    if (ShowMessageBox(this, {QStringLiteral("Patch Library"),
                              QStringLiteral("Write %1 programs into the DW-8000? What they hold now is replaced; "
                                             "the other programs stay as they are.")
                                  .arg(programs.size()),
                              TMsgIcon::Question, TMsgButtons::YesNo}) != TMsgResult::Yes)
        return false;
    FSending = FLibrarian.SendBank(programs);
    SetStatus(FSending ? QStringLiteral("Sending the bank...")
                       : QStringLiteral("The bank cannot be sent now: a transfer runs, or no DW-8000 is set up."));
    return FSending;
}

void TLibraryWindow::SendFinished(const engine::TTransferResult &result)
{
    if (std::exchange(FSending, false))
        SetStatus(result.Message);
}

bool TLibraryWindow::ExportSelectionAsBank(const QString &path)
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty() || rows.size() > std::size_t(dw::BankSize)) {
        SetStatus(QStringLiteral("Choose 1 to 64 patches for a bank file."));
        return false;
    }
    std::vector<dw::TFileProgram> programs;
    for (int row : rows)
        programs.push_back({int(programs.size()), FModel->Row(row).Data});
    std::string error;
    if (!dw::WriteFileBytes(path.toStdString(), dw::BankFileBytes(0, programs), error)) {
        ShowErrorBox(this, QString::fromStdString(error));
        return false;
    }
    SetStatus(QStringLiteral("%1 patches exported to %2").arg(programs.size()).arg(path));
    return true;
}

bool TLibraryWindow::ExportSelectionAsFiles(const QString &folder)
{
    const std::vector<int> rows = SelectedRows();
    QDir dir(folder);
    int written = 0;
    for (int row : rows) {
        const engine::TLibraryPatch &p = FModel->Row(row);
        QString name = FileNameFor(p.Name) + QStringLiteral(".syx");
        for (int n = 2; dir.exists(name); ++n)
            name = FileNameFor(p.Name) + QStringLiteral(" (%1).syx").arg(n);
        std::string error;
        if (!dw::WriteFileBytes(dir.filePath(name).toStdString(), dw::DumpFileBytes(0, p.Data), error)) {
            ShowErrorBox(this, QString::fromStdString(error));
            return false;
        }
        ++written;
    }
    SetStatus(QStringLiteral("%1 patches exported to %2").arg(written).arg(folder));
    return written > 0;
}

void TLibraryWindow::ExportChosen()
{
    const std::vector<int> rows = SelectedRows();
    if (rows.empty())
        return SetStatus(QStringLiteral("Choose the patches to export first."));
    if (rows.size() <= std::size_t(dw::BankSize)) {
        const QString path = AskFileName(this, {true, QStringLiteral("Export as Bank"), {}, kBankFilter});
        if (!path.isEmpty())
            ExportSelectionAsBank(path);
        return;
    }
    const QString folder = AskFileName(this, {false, QStringLiteral("Export as Single Files"), {}, {}, true});
    if (!folder.isEmpty())
        ExportSelectionAsFiles(folder);
}

void TLibraryWindow::SaveBankChosen()
{
    const QString path = AskFileName(this, {true, QStringLiteral("Save Bank"), {}, kBankFilter});
    if (!path.isEmpty())
        SaveBank(path);
}

void TLibraryWindow::ChooseFilesToImport()
{
    const QStringList files = AskFileNames(
        this, {false, QStringLiteral("Import Patches"), {},
               QStringLiteral("DW-8000 files (*.syx *.SYX *.dw8 *.DW8 *.sysex *.bin);;All files (*)")});
    if (!files.isEmpty())
        Import(files);
}

void TLibraryWindow::ChooseFolderToImport()
{
    const QString folder = AskFileName(this, {false, QStringLiteral("Import a Folder"), {}, {}, true});
    if (!folder.isEmpty())
        Import({folder});
}

void TLibraryWindow::Import(const QStringList &paths)
{
    if (FImport || FLibrary.State() != engine::TPatchLibrary::TState::Open)
        return;
    FImport = new engine::TImportJob(FLibrary.Path(), paths, this);
    FImportProgress = new QProgressDialog(QStringLiteral("Importing patches..."), QStringLiteral("Cancel"), 0, 0, this);
    FImportProgress->setObjectName(QStringLiteral("dImportProgress"));
    FImportProgress->setWindowModality(Qt::WindowModal);
    FImportProgress->setMinimumDuration(300);
    connect(FImportProgress, &QProgressDialog::canceled, this, &TLibraryWindow::CancelImport);
    connect(FImport, &engine::TImportJob::progress, this, [this](int done, int total) {
        if (FImportProgress) {
            FImportProgress->setMaximum(total);
            FImportProgress->setValue(done);
        }
    });
    connect(FImport, &engine::TImportJob::finished, this, &TLibraryWindow::ImportDone);
    FImport->Start();
}

void TLibraryWindow::CancelImport()
{
    if (FImport)
        FImport->Cancel();
}

void TLibraryWindow::ImportDone(const engine::TImportSummary &summary)
{
    if (FImportProgress) {
        FImportProgress->disconnect(this);
        FImportProgress->close();
        FImportProgress->deleteLater();
    }
    if (FImport)
        FImport->deleteLater();
    FImport = nullptr;
    Refresh();
    SetStatus(summary.Text().section(QLatin1Char('\n'), 0, 0));
    emit importFinished(summary);
    ShowPlainBox(this, summary.Text());
}

void TLibraryWindow::SetStatus(const QString &text) { lStatus->setText(text); }
