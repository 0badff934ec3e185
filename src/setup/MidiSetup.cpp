#include "setup/MidiSetup.h"

#include "core/MessageBoxes.h"
#include "engine/DeviceWatcher.h"
#include "engine/PortRoles.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/Colors.h"
#include "platform/ScopeExit.h"
#include "setup/DeviceFinder.h"
#include "setup/PresetUpload.h"

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

#include <stdexcept>

TfMidiSetup *fMidiSetup = nullptr;

namespace {

using namespace settingskeys;

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

TfMidiSetup::TfMidiSetup(TfMain &main, QWidget *parent) : QDialog(parent), FMain(main)
{
    fMidiSetup = this;
    CreateControls();
    FMain.SetSetupLink(this);
    FormCreate();
}

TfMidiSetup::~TfMidiSetup()
{
    FormDestroy();
    FMain.SetSetupLink(nullptr);
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

    setTabOrder(lbMidiIn, lbMidiOut);
    setTabOrder(lbMidiOut, lbCtrlIn);
    setTabOrder(lbCtrlIn, lbCtrlOut);
    setTabOrder(lbCtrlOut, bLoadBCR);
    setTabOrder(bLoadBCR, bbOK);
    setTabOrder(bbOK, FChannelGroup->button(0));

    FRoles[SynthIn] = {lbMidiIn, SynthInput};
    FRoles[SynthOut] = {lbMidiOut, SynthOutput};
    FRoles[CtrlIn] = {lbCtrlIn, CtrlInput};
    FRoles[CtrlOut] = {lbCtrlOut, CtrlOutput};
    for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut})
        ConnectList(r);

    connect(bbOK, &QPushButton::clicked, this, [this] { bbOKClick(); });
    connect(bLoadBCR, &QPushButton::clicked, this, [this] { bLoadBCRClick(); });

    bFindDevices = new QPushButton(QStringLiteral("Find devices"), panel);
    bFindDevices->setObjectName(QStringLiteral("bFindDevices"));
    bFindDevices->setGeometry(203, 326, 84, 32);
    connect(bFindDevices, &QPushButton::clicked, this, [this] { bFindDevicesClick(); });
    Upload = new TPresetUpload(FMain, this, bLoadBCR);
    Finder = new TDeviceFinder(*this, FMain);
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
    for (QListWidget *l : {lbMidiIn, lbMidiOut, lbCtrlIn, lbCtrlOut}) {
        const QSignalBlocker block(l);
        l->clear();
    }
    // "None" ends every list even when a device cannot be read, so that the
    // last row of a list is always it.
    const platform::TScopeExit addNone{[this] {
        for (QListWidget *l : {lbMidiIn, lbMidiOut, lbCtrlIn, lbCtrlOut}) {
            const QSignalBlocker block(l);
            l->addItem(NoDevice);
        }
    }};
    // The stable names: what the settings file keeps, and what stays the
    // same when the system numbers its ports anew.
    FInputNames = engine::InputDeviceNames();
    for (const std::string &name : FInputNames) {
        const QSignalBlocker b1(lbCtrlIn), b2(lbMidiIn);
        lbCtrlIn->addItem(QString::fromStdString(engine::StableDeviceName(name)));
        lbMidiIn->addItem(QString::fromStdString(engine::StableDeviceName(name)));
    }
    FOutputNames = engine::OutputDeviceNames();
    for (const std::string &name : FOutputNames) {
        const QSignalBlocker b1(lbCtrlOut), b2(lbMidiOut);
        lbCtrlOut->addItem(QString::fromStdString(engine::StableDeviceName(name)));
        lbMidiOut->addItem(QString::fromStdString(engine::StableDeviceName(name)));
    }
}

void TfMidiSetup::RefreshLists()
{
    try {
        FillLists();
    } catch (const std::exception &) {
        return; // the next change of the lists tries again
    }
    for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut})
        SelectHeld(r);
}

void TfMidiSetup::SelectHeld(TRole role)
{
    QListWidget *list = FRoles[role].list;
    const engine::TPortRoles &ports = FMain.Ports();
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
    if (FMain.MidiBCtoPC->DeviceCount() == 0) {
        ShowErrorBox(nullptr, QStringLiteral("You need a Midi interface for this program to work."));
        FTerminate = true;
        // Ends the application as soon as its message loop starts.
        QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    }
    // A step that fails (a device list that cannot be read, a port that does
    // not open, a settings file that refuses a write) is reported, and the
    // start-up goes on with the next.
    auto guarded = [](auto &&step) {
        try {
            step();
            return true;
        } catch (const std::exception &e) {
            ShowExceptionBox(nullptr, e);
            return false;
        }
    };
    const bool listed = guarded([&] { FillLists(); });
    for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut}) {
        QListWidget *list = FRoles[r].list;
        const QString saved = FMain.Settings().ReadString(Devices, FRoles[r].key, NoDevice);
        const bool none = saved.compare(NoDevice, Qt::CaseInsensitive) == 0;
        const std::vector<std::string> &names = IsInput(r) ? FInputNames : FOutputNames;
        const int device = none ? -1 : engine::FindDeviceName(names, saved.toStdString());
        SelectRow(list, device >= 0 ? device : NoneRow(list));
        if (!listed && device < 0 && !none)
            continue; // maybe just unreadable: keep the saved choice for the next start
        if (device < 0 && !none) {
            // Not plugged in yet: the role waits for it under the saved name.
            guarded([&] { FMain.Ports().Await(EngineRole(r), saved.toStdString()); });
            SelectHeld(r);
            if (r == SynthOut)
                FMain.bGetPatch->show();
            continue;
        }
        guarded([&] { ApplyChoice(r); });
    }
    connect(&FMain.Ports().Watcher(), &engine::TDeviceWatcher::listsChanged, this, [this] {
        if (isVisible())
            RefreshLists();
    });

    int channel = FMain.Settings().ReadInteger(Synth, Channel, 0);
    if (channel > 15)
        channel = 15;
    if (channel < 0)
        channel = 0; // no channel at all would put 2F on the wire
    guarded([&] { SetChannelIndex(channel); });
    guarded([&] { FMain.bGetPatchClick(); });
}

int TfMidiSetup::NoneRow(const QListWidget *list) const { return list->count() - 1; }

void TfMidiSetup::SelectRow(QListWidget *list, int row)
{
    const QSignalBlocker block(list);
    list->setCurrentRow(row);
}

void TfMidiSetup::ApplyChoice(TRole role)
{
    Role &r = FRoles[role];
    const int row = r.list->currentRow();
    if (row < 0)
        return;
    const QString text = r.list->item(row)->text();
    engine::TPortRoles &ports = FMain.Ports();
    if (text == NoDevice) {
        ports.Release(EngineRole(role));
        FMain.Settings().WriteString(Devices, r.key, NoDevice);
        if (role == SynthOut)
            FMain.bGetPatch->hide();
        else if (role == CtrlOut)
            bLoadBCR->hide();
        return;
    }
    if (ports.Conflicts(EngineRole(role), row) && !ResolveConflict(role))
        return;
    ports.Assign(EngineRole(role), row, text.toStdString());
    FMain.Settings().WriteString(Devices, r.key, text);
    if (role == SynthOut)
        FMain.bGetPatch->show();
    else if (role == CtrlOut)
        bLoadBCR->show();
}

bool TfMidiSetup::ResolveConflict(TRole role)
{
    static const char *const kQuestions[] = {
        "The controller has this device.\nReset the controller?",
        "The controller has this device.\nReset the controller?",
        "The Midi input has this device.\nReset the Midi Input?",
        "The Midi output has this device.\nReset the Midi Output?",
    };
    const Role &r = FRoles[role];
    const TMsgResult answer = ShowMessageBox(
        isVisible() ? this : nullptr,
        {QStringLiteral("Error"), QLatin1String(kQuestions[role]), TMsgIcon::Error, TMsgButtons::YesNo});
    const int held = Selection(role);
    if (answer != TMsgResult::Yes) {
        SelectRow(r.list, held >= 0 ? held : NoneRow(r.list));
        return false;
    }
    const TRole partner = TRole(engine::Partner(EngineRole(role)));
    const Role &p = FRoles[partner];
    FMain.Ports().Release(EngineRole(partner));
    SelectRow(p.list, NoneRow(p.list));
    FMain.Settings().WriteString(Devices, p.key, NoDevice);
    return true;
}

int TfMidiSetup::Selection(TRole role) const { return FMain.Ports().Device(EngineRole(role)); }

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
    FMain.Editor().SetChannel(index);
    FMain.Settings().WriteInteger(Synth, Channel, index);
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
    try {
        FMain.Settings().WriteInteger(Synth, Channel, ChannelIndex());
        for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut}) {
            if (Selection(r) >= 0 || FMain.Ports().Waiting(EngineRole(r)))
                FMain.Settings().WriteString(Devices, FRoles[r].key,
                                             QString::fromStdString(FMain.Ports().DeviceName(EngineRole(r))));
        }
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
