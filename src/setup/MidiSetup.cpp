#include "setup/MidiSetup.h"

#include "core/MessageBoxes.h"
#include "engine/DeviceWatcher.h"
#include "engine/Editor.h"
#include "engine/PortRoles.h"
#include "platform/Colors.h"
#include "setup/DeviceFinder.h"

#include "BuildInfo.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <iterator>
#include <stdexcept>
#include <utility>

TfMidiSetup *fMidiSetup = nullptr;

namespace {

static_assert(int(engine::TRole::SynthOut) == TfMidiSetup::SynthOut && int(engine::TRole::CtrlOut) == TfMidiSetup::CtrlOut);
engine::TRole EngineRole(TfMidiSetup::TRole role) { return engine::TRole(role); }

QString &PresetFallbackDir()
{
    static QString dir;
    return dir;
}

QFont DialogFont(int points)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSize(points);
    return f;
}

// The lists' navy text on a fixed white ground, so a dark desktop theme
// cannot put it on dark. On the navy panel the list that has the keyboard
// shows a yellow frame, and its current entry turns yellow.
const char *const kListStyle =
    "QListWidget { color: #000080; background-color: #ffffff; selection-color: #ffffff;"
    " selection-background-color: #000080; border: 2px solid #000080; }"
    "QListWidget:focus { border: 2px solid #ffff00; }"
    "QListWidget::item:focus { color: #000080; background-color: #ffff00; }";

// A button's navy text on a fixed light face.
void SetNavyButtonText(QPushButton *b)
{
    QPalette pal = b->palette();
    pal.setColor(QPalette::ButtonText, ToQColor(clNavy));
    pal.setColor(QPalette::Button, QColor(0xF0, 0xF0, 0xF0));
    b->setPalette(pal);
}

QLabel *MakeCaption(const QString &text, int left, int top, QWidget *parent)
{
    auto *l = new QLabel(text, parent);
    l->setFont(DialogFont(10));
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, ToQColor(clYellow));
    l->setPalette(pal);
    l->move(left, top);
    l->adjustSize();
    return l;
}

} // namespace

TfMidiSetup::TfMidiSetup(engine::TSession &session, QWidget *parent) : QDialog(parent), FSession(session)
{
    fMidiSetup = this;
    CreateControls();
    FormCreate();
}

TfMidiSetup::~TfMidiSetup()
{
    FormDestroy();
    if (fMidiSetup == this)
        fMidiSetup = nullptr;
}

void TfMidiSetup::SetPresetFallbackDir(const QString &dir) { PresetFallbackDir() = dir; }

void TfMidiSetup::CreateControls()
{
    setObjectName(QStringLiteral("fMidiSetup"));
    setWindowTitle(QStringLiteral("Midi Setup"));
    setAccessibleDescription(QStringLiteral("Tavrelk " TAVRELK_VERSION_TEXT));
    setFont(DialogFont(8));
    setFixedSize(400, 364);
    move(624, 267);

    QWidget *panel = CreatePanel();
    CreateLists(panel);
    CreateButtons(panel);
    CreateChannelGroup(panel);

    // As laid out: the four lists, the channel, then the buttons left to right.
    QWidget *order[] = {lbMidiIn, lbMidiOut, lbCtrlIn, lbCtrlOut};
    for (std::size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);
    QWidget *previous = lbCtrlOut;
    for (QAbstractButton *b : FChannelGroup->buttons()) {
        setTabOrder(previous, b);
        previous = b;
    }
    for (QWidget *w : std::initializer_list<QWidget *>{bLoadBCR, bFindDevices, bbOK}) {
        setTabOrder(previous, w);
        previous = w;
    }

    engine::TPortRoles &ports = FSession.Ports();
    Upload = new TPresetUpload(ports, FSession.Editor(), this, bLoadBCR);
    Finder = new TDeviceFinder(ports, this);
    connect(Finder, &TDeviceFinder::chosen, this,
            [this](int synthOut, int synthIn, int channel, int ctrlOut, int ctrlIn) {
                PickFound(synthOut, synthIn, channel, ctrlOut, ctrlIn);
            });
}

QWidget *TfMidiSetup::CreatePanel()
{
    auto *panel = new QWidget(this);
    panel->setObjectName(QStringLiteral("Panel2"));
    panel->setGeometry(0, 0, 400, 364);
    QPalette pal = panel->palette();
    pal.setColor(QPalette::Window, ToQColor(clNavy));
    panel->setPalette(pal);
    panel->setAutoFillBackground(true);

    MakeCaption(QStringLiteral("From <- DW8000 "), 18, 8, panel)->setObjectName(QStringLiteral("Label1"));
    MakeCaption(QStringLiteral("To -> DW8000"), 18, 142, panel)->setObjectName(QStringLiteral("Label2"));
    MakeCaption(QStringLiteral("From <- Controller"), 207, 6, panel)->setObjectName(QStringLiteral("Label3"));
    MakeCaption(QStringLiteral("To -> Controller"), 207, 142, panel)->setObjectName(QStringLiteral("Label6"));
    return panel;
}

void TfMidiSetup::CreateLists(QWidget *panel)
{
    auto makeList = [&](const char *name, int left, int top) {
        auto *lb = new QListWidget(panel);
        lb->setObjectName(QLatin1String(name));
        lb->setGeometry(left, top, 179, 113);
        QFont f = DialogFont(8);
        f.setPixelSize(13);
        lb->setFont(f);
        QPalette p = lb->palette();
        p.setColor(QPalette::Text, ToQColor(clNavy));
        p.setColor(QPalette::Base, ToQColor(clWhite));
        lb->setPalette(p);
        lb->setStyleSheet(QLatin1String(kListStyle));
        return lb;
    };
    lbMidiIn = makeList("lbMidiIn", 13, 24);
    lbMidiOut = makeList("lbMidiOut", 14, 158);
    lbCtrlIn = makeList("lbCtrlIn", 203, 24);
    lbCtrlOut = makeList("lbCtrlOut", 203, 160);
    FRoles[SynthIn].list = lbMidiIn;
    FRoles[SynthOut].list = lbMidiOut;
    FRoles[CtrlIn].list = lbCtrlIn;
    FRoles[CtrlOut].list = lbCtrlOut;
    for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut})
        ConnectList(r);
}

void TfMidiSetup::CreateButtons(QWidget *panel)
{
    bLoadBCR = new QPushButton(QStringLiteral("Send Sysex to  BCR"), panel);
    bLoadBCR->setObjectName(QStringLiteral("bLoadBCR"));
    bLoadBCR->setGeometry(255, 283, 130, 29);
    bLoadBCR->setFont(DialogFont(10));
    SetNavyButtonText(bLoadBCR);
    // Hints are off in this dialog: the text is kept for assistive tools only.
    bLoadBCR->setAccessibleDescription(QStringLiteral("Sysex file that set up the BCR for this editor"));
    bLoadBCR->hide();

    bbOK = new QPushButton(style()->standardIcon(QStyle::SP_DialogOkButton), QStringLiteral("OK"), panel);
    bbOK->setObjectName(QStringLiteral("bbOK"));
    bbOK->setGeometry(291, 326, 93, 32);
    bbOK->setDefault(true);
    connect(bbOK, &QPushButton::clicked, this, [this] { bbOKClick(); });
    connect(bLoadBCR, &QPushButton::clicked, this, [this] { bLoadBCRClick(); });

    bFindDevices = new QPushButton(QStringLiteral("Find devices"), panel);
    bFindDevices->setObjectName(QStringLiteral("bFindDevices"));
    bFindDevices->setGeometry(203, 326, 84, 32);
    connect(bFindDevices, &QPushButton::clicked, this, [this] { bFindDevicesClick(); });
}

void TfMidiSetup::CreateChannelGroup(QWidget *panel)
{
    rgMidiChan = new QGroupBox(QStringLiteral("Midi Channel"), panel);
    rgMidiChan->setObjectName(QStringLiteral("rgMidiChan"));
    rgMidiChan->setGeometry(12, 272, 180, 90);
    QPalette gp = rgMidiChan->palette();
    gp.setColor(QPalette::WindowText, ToQColor(clYellow));
    rgMidiChan->setPalette(gp);
    auto *grid = new QGridLayout(rgMidiChan);
    grid->setContentsMargins(6, 2, 6, 2);
    grid->setSpacing(0);
    FChannelGroup = new QButtonGroup(this);
    for (int i = 0; i < 16; ++i) {
        auto *rb = new QRadioButton(QString::number(i + 1), rgMidiChan);
        // Four columns, filled top to bottom as a radio group does.
        grid->addWidget(rb, i % 4, i / 4);
        FChannelGroup->addButton(rb, i);
    }
    connect(FChannelGroup, &QButtonGroup::idClicked, this, [this] { rgMidiChanClick(); });
}

void TfMidiSetup::ConnectList(TRole role)
{
    QListWidget *list = FRoles[role].list;
    // A keyboard or mouse change of the selection applies on the change; a
    // click on the entry already selected applies on the click. Only a change
    // made by a mouse press is followed by the click of that same press.
    connect(list, &QListWidget::currentRowChanged, this, [this, role](int row) {
        FRoles[role].justApplied = QGuiApplication::mouseButtons() != Qt::NoButton ? row : -1;
        Click(role);
    });
    connect(list, &QListWidget::itemClicked, this, [this, role, list](QListWidgetItem *item) {
        const int row = list->row(item);
        if (FRoles[role].justApplied == row) {
            FRoles[role].justApplied = -1;
            return;
        }
        Click(role);
    });
}

void TfMidiSetup::Click(TRole role)
{
    switch (role) {
    case SynthIn: lbMidiInClick(); break;
    case SynthOut: lbMidiOutClick(); break;
    case CtrlIn: lbCtrlInClick(); break;
    case CtrlOut: lbCtrlOutClick(); break;
    }
}

void TfMidiSetup::lbMidiInClick() { ApplyChoice(SynthIn); }
void TfMidiSetup::lbMidiOutClick() { ApplyChoice(SynthOut); }
void TfMidiSetup::lbCtrlInClick() { ApplyChoice(CtrlIn); }
void TfMidiSetup::lbCtrlOutClick() { ApplyChoice(CtrlOut); }

void TfMidiSetup::FillLists()
{
    // The stable names: what the settings file keeps, and what stays the
    // same when the system numbers its ports anew. "None" ends every list.
    for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut}) {
        QListWidget *list = FRoles[r].list;
        const QSignalBlocker block(list);
        list->clear();
        for (const std::string &name : FSession.Names(EngineRole(r)))
            list->addItem(QString::fromStdString(engine::StableDeviceName(name)));
        list->addItem(settingskeys::NoDevice);
    }
}

void TfMidiSetup::RefreshLists()
{
    try {
        FSession.ReadDeviceLists();
    } catch (const std::exception &) {
        return; // the next change of the lists tries again
    }
    FillLists();
    for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut})
        SelectHeld(r);
}

void TfMidiSetup::SelectHeld(TRole role)
{
    QListWidget *list = FRoles[role].list;
    const engine::TPortRoles &ports = FSession.Ports();
    if (ports.Device(EngineRole(role)) >= 0) {
        SelectRow(list, ports.Device(EngineRole(role)));
    } else if (ports.Waiting(EngineRole(role))) {
        // Its device is absent: no entry is it, and "None" would be untrue.
        SelectRow(list, -1);
    } else {
        SelectRow(list, NoneRow(list));
    }
    const QString awaited = QString::fromStdString(ports.DeviceName(EngineRole(role)));
    list->setToolTip(ports.Waiting(EngineRole(role)) ? QStringLiteral("Waiting for %1").arg(awaited) : QString());
}

void TfMidiSetup::FormCreate()
{
    if (FSession.NoInterface())
        ShowErrorBox(nullptr, QStringLiteral("You need a Midi interface for this program to work."));
    FSession.SetTakeOver([this](engine::TRole role) { return AskTakeOver(TRole(role)); });
    // A step that fails (a device list that cannot be read, a port that does
    // not open, a settings file that refuses a write) is reported, and the
    // start-up goes on with the next.
    // The lists show what was restored, before the patch request may lose a port.
    const QMetaObject::Connection shown = connect(&FSession, &engine::TSession::restored, this, [this] {
        FillLists();
        for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut})
            SelectHeld(r);
        bLoadBCR->setVisible(FSession.Ports().Device(engine::TRole::CtrlOut) >= 0);
        const int channel = FSession.Channel();
        if (channel >= 0 && channel <= 15)
            FChannelGroup->button(channel)->setChecked(true);
    });
    FSession.Start([](const std::exception &e) { ShowExceptionBox(nullptr, e); });
    disconnect(shown);
    connect(&FSession.Ports().Watcher(), &engine::TDeviceWatcher::listsChanged, this, [this] {
        if (isVisible())
            RefreshLists();
    });
}

int TfMidiSetup::NoneRow(const QListWidget *list) const { return list->count() - 1; }

void TfMidiSetup::SelectRow(QListWidget *list, int row)
{
    const QSignalBlocker block(list);
    list->setCurrentRow(row);
}

void TfMidiSetup::ApplyChoice(TRole role)
{
    QListWidget *list = FRoles[role].list;
    const int row = list->currentRow();
    if (row < 0)
        return;
    const TRole partner = TRole(engine::Partner(EngineRole(role)));
    if (row == NoneRow(list)) {
        FSession.Choose(EngineRole(role), engine::TPortRoles::NoDevice);
        if (role == CtrlOut)
            bLoadBCR->hide();
        return;
    }
    switch (FSession.Choose(EngineRole(role), row)) {
    case engine::TSession::TChoice::Declined: {
        const int held = Selection(role);
        SelectRow(list, held >= 0 ? held : NoneRow(list));
        return;
    }
    case engine::TSession::TChoice::TookOver:
        SelectRow(FRoles[partner].list, NoneRow(FRoles[partner].list));
        break;
    case engine::TSession::TChoice::Taken:
        break;
    }
    if (role == CtrlOut)
        bLoadBCR->show();
}

bool TfMidiSetup::AskTakeOver(TRole role)
{
    static const char *const kQuestions[] = {
        "The controller has this device.\nReset the controller?",
        "The controller has this device.\nReset the controller?",
        "The Midi input has this device.\nReset the Midi Input?",
        "The Midi output has this device.\nReset the Midi Output?",
    };
    const TMsgResult answer = ShowMessageBox(
        isVisible() ? this : nullptr,
        {QStringLiteral("Error"), QLatin1String(kQuestions[role]), TMsgIcon::Error, TMsgButtons::YesNo});
    return answer == TMsgResult::Yes;
}

void TfMidiSetup::PickFound(int synthOut, int synthIn, int channel, int ctrlOut, int ctrlIn)
{
    // Each selected as a click does: the session applies and saves it.
    auto pick = [](QListWidget *list, int row) {
        if (row >= 0 && row < list->count() - 1 && list->currentRow() != row)
            list->setCurrentRow(row);
    };
    if (synthOut >= 0 || synthIn >= 0) {
        pick(lbMidiOut, synthOut);
        pick(lbMidiIn, synthIn);
        SetChannelIndex(channel);
    }
    if (ctrlOut >= 0 || ctrlIn >= 0) {
        pick(lbCtrlOut, ctrlOut);
        pick(lbCtrlIn, ctrlIn);
    }
}

int TfMidiSetup::Selection(TRole role) const { return FSession.Ports().Device(EngineRole(role)); }

int TfMidiSetup::ChannelIndex() const { return FChannelGroup->checkedId(); }

void TfMidiSetup::SetChannelIndex(int index)
{
    if (index == ChannelIndex() || index < 0 || index > 15)
        return;
    FChannelGroup->button(index)->setChecked(true);
    rgMidiChanClick();
}

void TfMidiSetup::rgMidiChanClick()
{
    const int index = ChannelIndex();
    if (index < 0)
        return;
    FSession.SetChannel(index);
}

void TfMidiSetup::ShowModal() { exec(); }

void TfMidiSetup::showEvent(QShowEvent *event)
{
    RefreshLists(); // devices may have come and gone since it was last shown
    QDialog::showEvent(event);
}

void TfMidiSetup::bbOKClick() { hide(); }

void TfMidiSetup::FormDestroy()
{
    FSession.SetTakeOver({});
    try {
        FSession.SaveAll();
    } catch (const std::exception &e) {
        ShowExceptionBox(nullptr, e);
    }
}

QString TfMidiSetup::FindPresetFile() const
{
    const QString name = QLatin1String(PresetFileName);
    if (QFileInfo::exists(name))
        return name;
    // An installed copy keeps the preset beside the program or in its data
    // folder, not in the folder the user starts it from.
    QStringList dirs;
    if (!PresetFallbackDir().isEmpty())
        dirs << PresetFallbackDir();
    else
        dirs << QCoreApplication::applicationDirPath() << QStringLiteral(TAVRELK_DATA_DIR);
    for (const QString &dir : dirs) {
        const QString path = QDir(dir).filePath(name);
        if (QFileInfo::exists(path))
            return path;
    }
    return {};
}

// The search closes the ports for its time: the two never run together.
void TfMidiSetup::bLoadBCRClick()
{
    if (!Finder->Busy())
        Upload->Run(FindPresetFile());
}

void TfMidiSetup::bFindDevicesClick()
{
    if (!Upload->Busy())
        Finder->Run();
}
