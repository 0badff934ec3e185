#include "setup/MidiSetup.h"

#include "core/MessageBoxes.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"
#include "platform/Colors.h"
#include "setup/PresetScan.h"

#include "BuildInfo.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>

#include <chrono>
#include <stdexcept>
#include <thread>

TfMidiSetup *fMidiSetup = nullptr;

namespace {

const QString kNone = QStringLiteral("None");
const QString kDevices = QStringLiteral("MidiDevices");
const QString kSynth = QStringLiteral("DWSynth");
const QString kChannel = QStringLiteral("MidiChan");

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

// Runs a function on scope exit (the upload's button must come back whatever happens).
template <typename F>
struct Finally {
    F f;
    ~Finally() { f(); }
};
template <typename F>
Finally(F) -> Finally<F>;

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
        lb->setPalette(p);
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
    QPalette bp = bLoadBCR->palette();
    bp.setColor(QPalette::ButtonText, ToQColor(clNavy));
    bLoadBCR->setPalette(bp);
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

    FRoles[SynthIn] = {lbMidiIn, QStringLiteral("Input"), CtrlIn, true};
    FRoles[SynthOut] = {lbMidiOut, QStringLiteral("Output"), CtrlOut, false};
    FRoles[CtrlIn] = {lbCtrlIn, QStringLiteral("CtrlInput"), SynthIn, true};
    FRoles[CtrlOut] = {lbCtrlOut, QStringLiteral("CtrlOutput"), SynthOut, false};
    for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut})
        ConnectList(r);

    connect(bbOK, &QPushButton::clicked, this, [this] { bbOKClick(); });
    connect(bLoadBCR, &QPushButton::clicked, this, [this] { bLoadBCRClick(); });
}

void TfMidiSetup::ConnectList(TRole role)
{
    QListWidget *list = FRoles[role].list;
    // A keyboard or mouse change of the selection applies on the change; a
    // click on the entry already selected applies on the click.
    connect(list, &QListWidget::currentRowChanged, this, [this, role](int row) {
        FRoles[role].justApplied = row;
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
    const Finally addNone{[this] {
        for (QListWidget *l : {lbMidiIn, lbMidiOut, lbCtrlIn, lbCtrlOut}) {
            const QSignalBlocker block(l);
            l->addItem(kNone);
        }
    }};
    TMidiInput &in = *FMain.MidiBCtoPC;
    const std::uint32_t inputs = in.DeviceCount();
    for (std::uint32_t i = 0; i < inputs; ++i) {
        in.SetDeviceID(i);
        const QString name = QString::fromStdString(in.ProductName());
        const QSignalBlocker b1(lbCtrlIn), b2(lbMidiIn);
        lbCtrlIn->addItem(name);
        lbMidiIn->addItem(name);
    }
    TMidiOutput &out = *FMain.MidiPCtoBC;
    const std::uint32_t outputs = out.DeviceCount();
    for (std::uint32_t i = 0; i < outputs; ++i) {
        out.SetDeviceID(i);
        const QString name = QString::fromStdString(out.ProductName());
        const QSignalBlocker b1(lbCtrlOut), b2(lbMidiOut);
        lbCtrlOut->addItem(name);
        lbMidiOut->addItem(name);
    }
}

void TfMidiSetup::FormCreate()
{
    FPresetBuffer.clear();
    for (Role &r : FRoles)
        r.selection = -1;

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
        const QString saved = FMain.Settings().ReadString(kDevices, FRoles[r].key, kNone);
        int row = NoneRow(list);
        for (int i = 0; i < list->count(); ++i) {
            if (list->item(i)->text().compare(saved, Qt::CaseInsensitive) == 0) {
                row = i;
                break;
            }
        }
        SelectRow(list, row);
        if (!listed && row == NoneRow(list) && saved.compare(kNone, Qt::CaseInsensitive) != 0)
            continue; // maybe just unreadable: keep the saved choice for the next start
        guarded([&] { ApplyChoice(r); });
    }

    int channel = FMain.Settings().ReadInteger(kSynth, kChannel, 0);
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

bool TfMidiSetup::PortOpen(TRole role) const
{
    switch (role) {
    case SynthIn: return FMain.MidiSynthToPC->State() != misClosed;
    case SynthOut: return FMain.MidiPCToSynth->State() != mosClosed;
    case CtrlIn: return FMain.MidiBCtoPC->State() != misClosed;
    case CtrlOut: return FMain.MidiPCtoBC->State() != mosClosed;
    }
    return false;
}

void TfMidiSetup::ClosePort(TRole role)
{
    if (!PortOpen(role))
        return;
    switch (role) {
    case SynthIn: FMain.MidiSynthToPC->StopAndClose(); break;
    case SynthOut: FMain.MidiPCToSynth->Close(); break;
    case CtrlIn: FMain.MidiBCtoPC->StopAndClose(); break;
    case CtrlOut: FMain.MidiPCtoBC->Close(); break;
    }
}

void TfMidiSetup::OpenPort(TRole role, int device)
{
    auto openInput = [device](TMidiInput *in) {
        in->SetDeviceID(std::uint32_t(device));
        in->Open();
        in->Start();
    };
    auto openOutput = [device](TMidiOutput *out) {
        out->SetDeviceID(std::uint32_t(device));
        out->Open(); // a failed open leaves the port closed; sends are then skipped
    };
    switch (role) {
    case SynthIn: openInput(FMain.MidiSynthToPC); break;
    case SynthOut: openOutput(FMain.MidiPCToSynth); break;
    case CtrlIn: openInput(FMain.MidiBCtoPC); break;
    case CtrlOut: openOutput(FMain.MidiPCtoBC); break;
    }
}

void TfMidiSetup::ApplyChoice(TRole role)
{
    Role &r = FRoles[role];
    const int row = r.list->currentRow();
    if (row < 0)
        return;
    const QString text = r.list->item(row)->text();
    if (text == kNone) {
        r.selection = -1;
        ClosePort(role);
        FMain.Settings().WriteString(kDevices, r.key, kNone);
        if (role == SynthOut)
            FMain.bGetPatch->hide();
        else if (role == CtrlOut)
            bLoadBCR->hide();
        return;
    }
    const Role &partner = FRoles[r.partner];
    if (partner.selection >= 0 && partner.selection == row && !ResolveConflict(role))
        return;
    ClosePort(role);
    r.selection = row;
    OpenPort(role, row);
    FMain.Settings().WriteString(kDevices, r.key, text);
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
    Role &r = FRoles[role];
    const TMsgResult answer = ShowMessageBox(
        isVisible() ? this : nullptr,
        {QStringLiteral("Error"), QLatin1String(kQuestions[role]), TMsgIcon::Error, TMsgButtons::YesNo});
    if (answer != TMsgResult::Yes) {
        SelectRow(r.list, r.selection >= 0 ? r.selection : NoneRow(r.list));
        return false;
    }
    Role &p = FRoles[r.partner];
    ClosePort(r.partner);
    p.selection = -1;
    SelectRow(p.list, NoneRow(p.list));
    FMain.Settings().WriteString(kDevices, p.key, kNone);
    return true;
}

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
    FMain.SetChannelByte(std::uint8_t(0x30 + index));
    FMain.Settings().WriteInteger(kSynth, kChannel, index);
}

void TfMidiSetup::ShowModal() { exec(); }

void TfMidiSetup::bbOKClick() { hide(); }

void TfMidiSetup::FormDestroy()
{
    try {
        FMain.Settings().WriteInteger(kSynth, kChannel, ChannelIndex());
        for (TRole r : {SynthIn, SynthOut, CtrlIn, CtrlOut}) {
            const Role &role = FRoles[r];
            if (role.selection >= 0)
                FMain.Settings().WriteString(kDevices, role.key, role.list->item(role.selection)->text());
        }
    } catch (const std::exception &e) {
        ShowExceptionBox(nullptr, e);
    }
    FPresetBuffer.clear();
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

void TfMidiSetup::bLoadBCRClick()
{
    const QString file = FindPresetFile();
    if (file.isEmpty()) {
        ShowPlainBox(this, QStringLiteral("Can't Find BCR sysex file (Tavrelk.SYX) "));
        return;
    }
    bLoadBCR->setEnabled(false);
    const Finally enableAgain{[this] { bLoadBCR->setEnabled(true); }};

    FPresetBuffer.clear();
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot open file %1").arg(file).toStdString());
    const QByteArray data = f.readAll();
    FPresetBuffer.assign(data.begin(), data.end());

    TMidiOutput &out = *FMain.MidiPCtoBC;
    if (out.State() == mosClosed) {
        ShowWarningBox(this, QStringLiteral("No Midi output device selected for the BCR"));
        return;
    }
    int number = 0;
    for (const TPresetMessage &m : ScanPreset(FPresetBuffer)) {
        ++number;
        if (m.Skipped) {
            ShowWarningBox(this, QStringLiteral("Message %1 of %2 is longer than %3 bytes and was not sent")
                                     .arg(number)
                                     .arg(QLatin1String(PresetFileName))
                                     .arg(PresetMessageBufferSize));
        } else if (out.State() != mosClosed) {
            out.PutLong(m.Bytes.data(), std::uint16_t(m.Bytes.size()));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}
