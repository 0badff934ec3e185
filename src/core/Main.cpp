#include "core/Main.h"

#include "controls/Accessible.h"
#include "controls/Vxadsr2.h"
#include "controls/Vxgrafsw.h"
#include "controls/Wall.h"
#include "core/DeviceStatus.h"
#include "core/EditActions.h"
#include "core/Layout.h"
#include "core/Library.h"
#include "core/MessageBoxes.h"
#include "core/WindowPlace.h"
#include "dw/Params.h"
#include "dw/Program.h"
#include "engine/Hints.h"
#include "engine/PortRoles.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include "BuildInfo.h"

#include <QAction>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QToolButton>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <utility>

TfMain *fMain = nullptr;

const char *TfMain::DonateUrl = TAVRELK_DONATE_URL;

namespace {

// Where the window was left, in the settings file.
const QString kWindowSection = QStringLiteral("Window");
const QString kLeftKey = QStringLiteral("Left");
const QString kTopKey = QStringLiteral("Top");
// A frame's borders before the window manager has framed the window.
const QMargins kGuessedFrame(4, 32, 4, 4);
// Free pixels between the last page tab and the corner bar.
constexpr int kTabGap = 8;

// The corner beside the page tabs takes all the width the tabs leave, whatever
// its status says, so that its buttons and marks never move and a long
// status never covers a tab.
class TCornerBar : public QWidget {
public:
    using QWidget::QWidget;
    QSize sizeHint() const override
    {
        const QSize own = QWidget::sizeHint();
        const auto *tabs = qobject_cast<const QTabWidget *>(parentWidget());
        if (tabs == nullptr)
            return own;
        return {std::max(own.width(), tabs->width() - tabs->tabBar()->sizeHint().width() - kTabGap), own.height()};
    }
};

// Controllers whose button labels centre their text.
bool CentresText(int controller) { return controller == 13 || (controller >= 28 && controller <= 42); }

QImage Asset(const char *name) { return QImage(QStringLiteral(":/assets/%1").arg(QLatin1String(name))); }

void SetColors(QWidget *w, TColor text, TColor back)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, ToQColor(text));
    pal.setColor(QPalette::Window, ToQColor(back));
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

// Moves a widget to another parent without changing whether it is shown.
void Reparent(QWidget *w, QWidget *parent)
{
    const bool hidden = w->isHidden();
    w->setParent(parent);
    w->setVisible(!hidden);
}

void ConfigureGraph(Tvxadsr2 *g, TColor line, TColor gradient)
{
    g->SetMax(32);
    g->SetLineColor(line);
    g->SetGradientColor(gradient);
    g->SetGradientEnabled(true);
    g->SetFillEnabled(true);
    g->SetAlwayDetect(true);
    g->SetShowVLines(true);
    g->SetTabStop(true);
    g->SetGradientNbOfColors(64);
    g->SetGradientType(gr2TopToBottom);
    g->SetMarkerColor(clAqua);
    g->SetMarkerSize(3);
    g->SetColor(clBlack);
}

// A row's name for assistive tools: its section and parameter, e.g. "Filter Cutoff".
QString ParamName(int row)
{
    const dw::TParamCaption &c = dw::ParamCaption(row);
    return QStringLiteral("%1 %2").arg(QLatin1String(c.Section), QLatin1String(c.Name));
}

} // namespace

// The program and edited mark: told to assistive tools as one value.
class TProgramLabel : public QLabel, public TAccessibleValue {
public:
    explicit TProgramLabel(QWidget *parent) : QLabel(parent)
    {
        InstallAccessibleFactory();
        setObjectName(QStringLiteral("ProgramLabel"));
        setAccessibleName(QStringLiteral("Patch"));
    }
    void Show(const QString &text)
    {
        if (text == this->text())
            return;
        setText(text);
        AnnounceValueChange(this);
    }
    void Announce() const { AnnounceValueChange(const_cast<TProgramLabel *>(this)); }
    QAccessible::Role AccessibleRole() const override { return QAccessible::StaticText; }

protected:
    QString DefaultAccessibleValueText() const override
    {
        return text().isEmpty() ? QStringLiteral("none") : text();
    }
};

// A value label: bold yellow on navy, sizing itself to its text.
class TValueLabelWidget : public QLabel, public TValueLabel, public TAccessibleValue {
public:
    TValueLabelWidget(const QString &name, bool centred, QWidget *parent) : QLabel(parent)
    {
        InstallAccessibleFactory();
        setObjectName(name);
        setFont(layout::ValueLabelFont());
        SetColors(this, clYellow, clNavy);
        setAlignment((centred ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter);
        setMargin(0);
        const TQuietAccessibility quiet; // a field being built has nothing to announce
        SetCaption("-"); // until a value is known: the design name means nothing to a user
    }
    void SetCaption(const std::string &text) override
    {
        const QString t = QString::fromStdString(text);
        if (t == this->text())
            return;
        setText(t);
        resize(layout::TextWidth(font(), t), layout::ValueLabelHeight);
        AnnounceValueChange(this);
    }
    int Left() const override { return x(); }
    int Top() const override { return y(); }
    QAccessible::Role AccessibleRole() const override { return QAccessible::StaticText; }

protected:
    QString DefaultAccessibleValueText() const override { return text(); }
};

TfMain::TfMain(engine::TSession &session, QWidget *parent) : TfMain(&session, nullptr, parent) {}

TfMain::TfMain(std::unique_ptr<TSettings> settings, QWidget *parent) : TfMain(nullptr, std::move(settings), parent) {}

TfMain::TfMain(engine::TSession *session, std::unique_ptr<TSettings> settings, QWidget *parent)
    : QWidget(parent),
      FSession(session != nullptr ? session : new engine::TSession(std::move(settings), this)),
      FPorts(&FSession->Ports()),
      FEditor(&FSession->Editor()),
      ParamMsg(FEditor->ParamMsg()),
      SysexBuf(FEditor->SysexBuf())
{
    fMain = this;
    CreateControls();
    Library = new TLibraryMenu(*FSession, this);
    auto *cornerRow = static_cast<QHBoxLayout *>(CornerBar->layout());
    cornerRow->insertWidget(0, Library->Button);
    cornerRow->insertWidget(1, Library->Status);
    // Not taller than the tabs beside it.
    Library->Button->setMaximumHeight(pgMain->tabBar()->sizeHint().height());
    FormCreate();
    EditActions = new TEditActions(*FSession, Params, *Library, this); // after the rows know their labels
    cornerRow->insertWidget(cornerRow->indexOf(Library->Button) + 1, EditActions->Button);
    EditActions->Button->setMaximumHeight(pgMain->tabBar()->sizeHint().height());
    CreateProgramLabel();
    CreateWindowActions();
    NameControls();

    FDumpWatch.setSingleShot(true);
    FDumpWatch.setInterval(DumpWaitMs);
    connect(&FDumpWatch, &QTimer::timeout, this, [this] { Library->SetStatus(NoDumpText()); });
    connect(FEditor, &engine::TEditor::patchSeen, this, [this](const dw::TDataBlock &, int, bool edited) {
        if (!edited)
            DumpCame();
    });
    connect(FSession, &engine::TSession::restored, this, [this] { Restored(); });
    connect(FEditor, &engine::TEditor::patchSeen, this, [this] { ShowProgram(); });
    connect(FEditor, &engine::TEditor::programSelected, this, [this] { ShowProgram(); });
    connect(FEditor, &engine::TEditor::compareChanged, this, [this] { ShowProgram(); });
    connect(FEditor, &engine::TEditor::historyChanged, this, [this] { ShowProgram(); });
}

TfMain::~TfMain()
{
    FormDestroy();
    if (fMain == this)
        fMain = nullptr;
}

void TfMain::CreateControls()
{
    setObjectName(QStringLiteral("fMain"));
    setWindowTitle(QStringLiteral("BCR2000 to Korg DW 8000"));
    setFont(layout::BaseFont());
    setFixedSize(layout::ClientWidth, layout::ClientHeight);
    // The pages keep their design size; a screen too small for them scrolls.
    Scroller = new QScrollArea(this);
    Scroller->setObjectName(QStringLiteral("Scroller"));
    Scroller->setFrameShape(QFrame::NoFrame);
    Scroller->setFocusPolicy(Qt::NoFocus);
    Content = new QWidget;
    Content->setObjectName(QStringLiteral("Content"));
    Content->setFixedSize(layout::ClientWidth, layout::ClientHeight);
    Scroller->setWidget(Content);
    auto *whole = new QVBoxLayout(this);
    whole->setContentsMargins(0, 0, 0, 0);
    whole->addWidget(Scroller);

    MidiPCtoBC = &FPorts->CtrlOut();
    MidiBCtoPC = &FPorts->CtrlIn();
    MidiSynthToPC = &FPorts->SynthIn();
    MidiPCToSynth = &FPorts->SynthOut();
    FEditor->SetView(this);

    CreatePages();
    CreateLabels(Wallpaper1);
    CreateShared();
    CreateButtons();
    connect(pgMain, &QTabWidget::currentChanged, this, [this] { pgMainChange(); });
    connect(FSession, &engine::TSession::roleChosen, this, [this](engine::TRole role) { RoleChosen(role); });
}

void TfMain::CreatePages()
{
    pgMain = new QTabWidget(Content);
    pgMain->setObjectName(QStringLiteral("pgMain"));
    pgMain->setFont(layout::PageFont());
    pgMain->setGeometry(0, 0, layout::ClientWidth, layout::ClientHeight);
    tsBlock = new QWidget;
    tsBCR = new QWidget;
    pgMain->addTab(tsBlock, QStringLiteral("Block Diag."));
    pgMain->addTab(tsBCR, QStringLiteral("BCR Layout"));
    CornerBar = new TCornerBar(pgMain);
    CornerBar->setObjectName(QStringLiteral("CornerBar"));
    auto *cornerRow = new QHBoxLayout(CornerBar);
    cornerRow->setContentsMargins(0, 0, 4, 0);
    cornerRow->setSpacing(8);
    DeviceStatus = new TDeviceStatus(*FPorts, *FEditor, CornerBar);
    cornerRow->addWidget(DeviceStatus);
    pgMain->setCornerWidget(CornerBar, Qt::TopRightCorner);

    Wallpaper1 = new TWallpaper(tsBlock);
    Wallpaper1->setObjectName(QStringLiteral("Wallpaper1"));
    Wallpaper1->SetAlign(alClient);
    Wallpaper1->SetWallpaper(Asset("blockdiagram.png"));
    Wallpaper2 = new TWallpaper(tsBCR);
    Wallpaper2->setObjectName(QStringLiteral("Wallpaper2"));
    Wallpaper2->SetAlign(alClient);
    Wallpaper2->SetWallpaper(Asset("bcr2000.png"));
}

// The waveform switches and the envelope graphs, which both pages share.
void TfMain::CreateShared()
{
    const QImage strip = Asset("waveforms.png");
    auto makeSwitch = [&](const char *name) {
        const layout::TSharedControl &c = layout::SharedControl(name);
        auto *sw = new Tvxgrafsw(Wallpaper1);
        sw->setObjectName(QLatin1String(name));
        sw->setGeometry(c.DiagLeft, c.DiagTop, c.Width, c.Height);
        sw->SetBitmap(strip);
        sw->SetGlyph(layout::WaveGlyphs);
        sw->SetAutoSize(true);
        sw->SetState(5);
        return sw;
    };
    gOsc1 = makeSwitch("gOsc1");
    gOsc2 = makeSwitch("gOsc2");

    auto makeGraph = [&](const char *name, TColor line, TColor gradient) {
        const layout::TSharedControl &c = layout::SharedControl(name);
        auto *g = new Tvxadsr2(Wallpaper1);
        g->setObjectName(QLatin1String(name));
        g->setGeometry(c.DiagLeft, c.DiagTop, c.Width, c.Height);
        ConfigureGraph(g, line, gradient);
        return g;
    };
    VCFadsr = makeGraph("VCFadsr", clTeal, 0x652828);
    VCAadsr = makeGraph("VCAadsr", 0x05B157, 0x236845);
}

void TfMain::CreateButtons()
{
    auto makeButton = [&](const char *name, const char *text) {
        const layout::TSharedControl &c = layout::SharedControl(name);
        auto *b = new QPushButton(QLatin1String(text), Wallpaper1);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(c.DiagLeft, c.DiagTop, c.Width, c.Height);
        b->setFont(layout::ButtonFont());
        // Navy text on a fixed light face: a dark desktop theme cannot put it on dark.
        QPalette pal = b->palette();
        pal.setColor(QPalette::ButtonText, ToQColor(clNavy));
        pal.setColor(QPalette::Button, QColor(0xF0, 0xF0, 0xF0));
        b->setPalette(pal);
        b->setToolTip(QStringLiteral("Get patch from DW6000"));
        return b;
    };
    bGetPatch = makeButton("bGetPatch", "Get Patch From DW8000");
    bMidiSetup = makeButton("bMidiSetup", "Set Up Midi");
    connect(bGetPatch, &QPushButton::clicked, this, [this] { bGetPatchClick(); });
    connect(bMidiSetup, &QPushButton::clicked, this, [this] { bMidiSetupClick(); });

    const layout::TSharedControl &d = layout::SharedControl("sbDonate");
    sbDonate = new QToolButton(Wallpaper1);
    sbDonate->setObjectName(QStringLiteral("sbDonate"));
    sbDonate->setGeometry(d.DiagLeft, d.DiagTop, d.Width, d.Height);
    sbDonate->setIcon(QPixmap::fromImage(Asset("donate.png")));
    sbDonate->setIconSize(QSize(d.Width, d.Height));
    sbDonate->setAutoRaise(true);
    sbDonate->setToolTip(QStringLiteral(
        "If you would like to help pay for the development of this program, that would be great"));
    connect(sbDonate, &QToolButton::clicked, this, [this] { sbDonateClick(); });
}

// The fetch button shows once the synthesizer's output is chosen (open, or
// waiting for its device), and hides when none is chosen for it.
void TfMain::RoleChosen(engine::TRole role)
{
    if (role == engine::TRole::SynthOut)
        bGetPatch->setVisible(!FPorts->DeviceName(role).empty());
    if (Library != nullptr && !FPorts->DeviceName(role).empty() && Library->Status->text() == ChooseDevicesText())
        Library->SetStatus(QString());
}

// Start-up restored the choices: with none at all this is a first run, and
// the status says where to begin; else the start-up fetch follows.
void TfMain::Restored()
{
    const bool none = std::all_of(engine::AllRoles.begin(), engine::AllRoles.end(),
                                  [this](engine::TRole r) { return FPorts->DeviceName(r).empty(); });
    if (none)
        Library->SetStatus(ChooseDevicesText());
    else
        WatchForDump();
}

QString TfMain::NoDumpText()
{
    return QStringLiteral("No patch came from the DW-8000. %1").arg(QLatin1String(engine::NoDumpHint));
}

QString TfMain::ChooseDevicesText()
{
    return QStringLiteral("Choose your DW-8000 and BCR2000 in Set Up Midi, or click Find devices");
}

void TfMain::WatchForDump()
{
    // Nothing was asked: the marks beside the tabs already tell why.
    if (FEditor->TransferRunning() || MidiPCToSynth->State() == mosClosed)
        return;
    FDumpWatch.start();
}

void TfMain::DumpCame()
{
    FDumpWatch.stop();
    if (Library->Status->text() == NoDumpText())
        Library->SetStatus(QString()); // a late dump: the warning no longer holds
}

void TfMain::CreateProgramLabel()
{
    FProgramLabel = new TProgramLabel(CornerBar);
    ProgramLabel = FProgramLabel;
    // As wide as its longest text always, so that nothing beside it moves.
    FProgramLabel->setFixedWidth(layout::TextWidth(FProgramLabel->font(), ProgramText(dw::BankSize - 1, true)) + 4);
    auto *cornerRow = static_cast<QHBoxLayout *>(CornerBar->layout());
    cornerRow->insertWidget(cornerRow->indexOf(Library->Status) + 1, FProgramLabel);
}

QString TfMain::ProgramText(int program, bool edited)
{
    QString text;
    if (program >= 0)
        text = QStringLiteral("Program %1").arg(QString::fromStdString(dw::ProgramText(program)));
    if (edited)
        text += text.isEmpty() ? QStringLiteral("edited") : QStringLiteral(", edited");
    return text;
}

void TfMain::ShowProgram()
{
    if (FProgramLabel != nullptr)
        FProgramLabel->Show(ProgramText(FEditor->Program(), FEditor->IsEdited()));
}

// Names for assistive tools: each value field by its row, the graphs and
// switches by what they draw, their value in the words the pages show.
void TfMain::NameControls()
{
    for (int row = 0; row < ParamCount; ++row) {
        if (auto *label = dynamic_cast<TValueLabelWidget *>(Params[std::size_t(row)].ValueLabel))
            label->setAccessibleName(ParamName(row));
    }
    const std::pair<Tvxgrafsw *, int> waves[] = {{gOsc1, 1}, {gOsc2, 8}};
    for (const auto &[wave, row] : waves) {
        wave->setAccessibleName(ParamName(row));
        wave->SetAccessibleValueText([this, row = row] { return RowText(row); });
    }
    const std::pair<Tvxadsr2 *, const char *> graphs[] = {{VCFadsr, "Filter envelope"}, {VCAadsr, "Amplifier envelope"}};
    for (const auto &[graph, section] : graphs) {
        graph->setAccessibleName(QLatin1String(section));
        graph->SetAccessibleValueText([this, section = section] { return SectionText(section); });
    }
    sbDonate->setAccessibleName(QStringLiteral("Donate"));
}

// A row's value as its field shows it, or in the synthesizer's words where it has no field.
QString TfMain::RowText(int row) const
{
    if (auto *label = dynamic_cast<const QLabel *>(Params[std::size_t(row)].ValueLabel))
        return label->text();
    return FEditor->HasPatch() ? QString::fromStdString(dw::DisplayText(row, FEditor->Patch()[row])) : QStringLiteral("-");
}

// "Attack 5, Decay 1, ...": every row of a section.
QString TfMain::SectionText(const char *section) const
{
    QStringList parts;
    for (int row = 0; row < ParamCount; ++row) {
        const dw::TParamCaption &c = dw::ParamCaption(row);
        if (std::strcmp(c.Section, section) == 0)
            parts << QStringLiteral("%1 %2").arg(QLatin1String(c.Name), RowText(row));
    }
    return parts.join(QStringLiteral(", "));
}

void TfMain::WholePatchBegins()
{
    if (FWholePatchDepth++ == 0) {
        FQuiet = std::make_unique<TQuietAccessibility>();
        FShownQuietly = false;
    }
}

void TfMain::WholePatchEnds()
{
    if (FWholePatchDepth == 0 || --FWholePatchDepth > 0)
        return;
    ShowProgram(); // still quiet: announced below, once
    FQuiet.reset();
    if (std::exchange(FShownQuietly, false) && FProgramLabel != nullptr)
        FProgramLabel->Announce(); // one word for the whole patch
}

void TfMain::CreateWindowActions()
{
    QuitAction = new QAction(QStringLiteral("&Quit"), this);
    QuitAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Q")));
    QuitAction->setShortcutContext(Qt::WindowShortcut);
    addAction(QuitAction);
    connect(QuitAction, &QAction::triggered, this, &QWidget::close);

    AboutAction = new QAction(QStringLiteral("&About Tavrelk"), this);
    AboutAction->setIconText(QStringLiteral("?"));
    AboutAction->setShortcut(QKeySequence(Qt::Key_F1));
    AboutAction->setShortcutContext(Qt::WindowShortcut);
    AboutAction->setToolTip(QStringLiteral("About Tavrelk (F1)"));
    addAction(AboutAction);
    connect(AboutAction, &QAction::triggered, this,
            [this] { ShowAboutBox(this, QStringLiteral("About Tavrelk"), AboutText()); });
    bAbout = new QToolButton(CornerBar);
    bAbout->setObjectName(QStringLiteral("bAbout"));
    bAbout->setDefaultAction(AboutAction);
    bAbout->setAutoRaise(true);
    bAbout->setAccessibleName(QStringLiteral("About Tavrelk"));
    bAbout->setMaximumHeight(pgMain->tabBar()->sizeHint().height());
    CornerBar->layout()->addWidget(bAbout);
}

QString TfMain::AboutText()
{
    QString text = QStringLiteral("Tavrelk %1\n\nA Behringer BCR2000 as the hardware front panel of a Korg DW-8000.\n\n"
                                  "Licence: none granted yet; the authors keep all rights.")
                       .arg(QLatin1String(TAVRELK_VERSION_TEXT));
    if (*TAVRELK_PROJECT_URL != '\0')
        text += QStringLiteral("\n%1").arg(QLatin1String(TAVRELK_PROJECT_URL));
    return text;
}

void TfMain::showEvent(QShowEvent *event)
{
    FShown = true;
    QWidget::showEvent(event);
}

void TfMain::FitToScreen(const QRect &available, const QMargins &frame)
{
    const QSize content(layout::ClientWidth, layout::ClientHeight);
    const QSize room = available.size().shrunkBy(frame);
    if (content.width() <= room.width() && content.height() <= room.height()) {
        setFixedSize(content);
        return;
    }
    // The scroll bar of the cut side takes room of the other.
    const int bar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    QSize whole = content;
    if (content.height() > room.height())
        whole.rwidth() += bar;
    if (content.width() > room.width())
        whole.rheight() += bar;
    const QSize fitted = FitWindow(whole, room);
    setMinimumSize(fitted.boundedTo(QSize(320, 240)));
    setMaximumSize(whole);
    resize(fitted);
}

void TfMain::PlaceOnScreen()
{
    const QList<QScreen *> screens = QGuiApplication::screens();
    std::vector<QRect> areas;
    int primary = 0;
    for (int i = 0; i < screens.size(); ++i) {
        areas.push_back(screens[i]->availableGeometry());
        if (screens[i] == QGuiApplication::primaryScreen())
            primary = i;
    }
    if (areas.empty())
        return;
    std::optional<QPoint> saved;
    const int left = Settings().ReadInteger(kWindowSection, kLeftKey, INT_MIN);
    const int top = Settings().ReadInteger(kWindowSection, kTopKey, INT_MIN);
    if (left != INT_MIN && top != INT_MIN)
        saved = QPoint(left, top);
    const QRect framed = frameGeometry();
    const QRect inner = geometry();
    const QMargins frame = framed == inner ? kGuessedFrame
                                           : QMargins(inner.left() - framed.left(), inner.top() - framed.top(),
                                                      framed.right() - inner.right(), framed.bottom() - inner.bottom());
    const QSize design = QSize(layout::ClientWidth, layout::ClientHeight).grownBy(frame);
    const TWindowPlace screen = PlaceWindow(saved, design, areas, primary);
    FitToScreen(areas[std::size_t(screen.Screen)], frame);
    move(PlaceWindow(saved, size().grownBy(frame), areas, primary).TopLeft);
}

void TfMain::SavePlace()
{
    if (!FShown)
        return;
    Settings().WriteInteger(kWindowSection, kLeftKey, pos().x());
    Settings().WriteInteger(kWindowSection, kTopKey, pos().y());
}

void TfMain::CreateLabels(QWidget *page)
{
    for (int i = 0; i < ParamCount; ++i) {
        const TParamDesign &d = ParamDesign(i);
        if (*d.LabelName == '\0')
            continue;
        auto *label = new TValueLabelWidget(QLatin1String(d.LabelName), CentresText(dw::ParamDef(i).Controller), page);
        label->move(d.DiagLeft, d.DiagTop);
        FValueLabels[label->objectName()] = label;
    }
    for (const layout::TCaptionLabel &c : layout::CaptionLabels()) {
        auto *label = new QLabel(c.Caption, page);
        label->setObjectName(c.Name);
        label->setFont(layout::CaptionLabelFont());
        SetColors(label, c.FontColor, c.Background);
        label->setGeometry(c.Left, c.Top, layout::TextWidth(label->font(), c.Caption), layout::CaptionLabelHeight);
        FCaptionLabels.push_back(label);
    }
}

void TfMain::FormCreate()
{
    SetEnvelopeStartValues();
    sbDonate->setVisible(*DonateUrl != '\0' && Settings().ReadBool(settingskeys::Donate, settingskeys::DonateButton, true));
    BuildParams(Params, [this](const std::string &name) -> TValueLabel * {
        auto it = FValueLabels.find(QString::fromStdString(name));
        return it == FValueLabels.end() ? nullptr : it->second;
    });
}

void TfMain::SetEnvelopeStartValues()
{
    // slot, value: base level, peak, break point, sustain, attack, decay, slope, release
    static const int kStart[][2] = {{7, 0}, {1, 31}, {3, 20}, {5, 10}, {0, 5}, {2, 1}, {4, 31}, {6, 10}};
    for (Tvxadsr2 *g : {VCAadsr, VCFadsr}) {
        for (const auto &sv : kStart)
            g->SetValue(sv[1], sv[0]);
    }
    VCAadsr->repaint();
    VCFadsr->repaint();
}

void TfMain::FormDestroy()
{
    // Every step runs even when an earlier one fails; the first error is shown.
    std::exception_ptr first;
    auto step = [&](auto &&f) {
        try {
            f();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    };
    step([&] { FPorts->CloseAll(); });
    FEditor->SetView(nullptr);
    for (TAccessibleValue *c : std::initializer_list<TAccessibleValue *>{gOsc1, gOsc2, VCFadsr, VCAadsr})
        c->SetAccessibleValueText({}); // they read the rows, which go first
    for (TCcParam &p : Params) {
        p.ValueNames.clear();
        p.ValueLabel = nullptr;
    }
    step([&] { SavePlace(); });
    // Without an address the button was never shown: keep the stored choice.
    step([&] {
        using namespace settingskeys;
        Settings().WriteBool(Donate, DonateButton,
                             *DonateUrl != '\0' ? !sbDonate->isHidden() : Settings().ReadBool(Donate, DonateButton, true));
    });
    if (first) {
        try {
            std::rethrow_exception(first);
        } catch (const std::exception &e) {
            ShowExceptionBox(nullptr, e);
        } catch (...) {
        }
    }
}

QLabel *TfMain::ValueLabel(const QString &name) const
{
    auto it = FValueLabels.find(name);
    return it == FValueLabels.end() ? nullptr : it->second;
}

QLabel *TfMain::CaptionLabel(const QString &name) const
{
    for (QLabel *l : FCaptionLabels) {
        if (l->objectName() == name)
            return l;
    }
    return nullptr;
}

void TfMain::MidiBCtoPCMidiInput(QObject *) { FEditor->ControllerInput(); }

void TfMain::MidiSynthToPCMidiInput(QObject *) { FEditor->SynthInput(); }

void TfMain::SendParameter(int row) { FEditor->SendParameter(row); }

void TfMain::EchoParameter(int row) { FEditor->EchoParameter(row); }

void TfMain::RandomPatch() { FEditor->RandomPatch(); }

void TfMain::RandomPatchBegins()
{
    WholePatchBegins();
    VCFadsr->hide();
    VCAadsr->hide();
}

void TfMain::RandomPatchEnds()
{
    VCFadsr->show();
    VCAadsr->show();
    WholePatchEnds();
}

void TfMain::bGetPatchClick()
{
    FEditor->RequestPatch();
    WatchForDump();
}

void TfMain::CheckSysex(const std::vector<std::uint8_t> &stream) { FEditor->CheckSysex(stream.data(), stream.size()); }

void TfMain::ParseDump() { FEditor->ParseDump(); }

void TfMain::ShowDumpError(const char *text) { ShowErrorBox(this, QLatin1String(text)); }

void TfMain::ShowParameter(int row)
{
    TCcParam &p = Params[std::size_t(row)];
    SetFromController(p, FEditor->Patch()[row]); // the engine's value, as it is
    if (row == 1)
        gOsc1->SetState(p.Value);
    else if (row == 8)
        gOsc2->SetState(p.Value);

    const int e = p.EnvSlot;
    if (e >= 0 && e != 8 && e != 9) {
        const bool filter = e >= 10;
        Tvxadsr2 *graph = filter ? VCFadsr : VCAadsr;
        const int s = filter ? e - 10 : e;
        const int base = (s == 3 || s == 5) ? 0 : 31;
        if (s > 6 || s == 1) {
            ShowWarningBox(this, QStringLiteral("%1 State outside range %2")
                                     .arg(filter ? QStringLiteral("VCF") : QStringLiteral("VCA"))
                                     .arg(s));
        } else {
            graph->SetValue(std::abs(base - p.Value) & 31, s);
        }
    }

    const int polarity = Params[18].Value;
    if (polarity != FLastPolarity) {
        FLastPolarity = polarity;
        const int x = polarity != 0 ? 31 : 0;
        VCFadsr->SetValue(x, 7);
        VCFadsr->SetValue(31 - x, 1);
    }
    if (FWholePatchDepth > 0)
        FShownQuietly = true;
    else
        ShowProgram();
}

void TfMain::pgMainChange()
{
    if (pgMain->currentWidget() == tsBCR)
        ShowBcrLayout();
    else
        ShowBlockDiagram();
}

void TfMain::PlaceControls(TWallpaper *panel)
{
    const bool bcr = panel == Wallpaper2;
    for (const TCcParam &p : Params) {
        auto *label = dynamic_cast<TValueLabelWidget *>(p.ValueLabel);
        if (label == nullptr)
            continue;
        Reparent(label, panel);
        label->move(bcr ? p.BcrLeft : p.DiagLeft, bcr ? p.BcrTop : p.DiagTop);
    }
    for (QWidget *w : std::initializer_list<QWidget *>{bGetPatch, bMidiSetup, sbDonate, gOsc1, gOsc2,
                                                       VCFadsr, VCAadsr})
        Reparent(w, panel);
}

void TfMain::MoveShared(bool toBcr)
{
    const std::pair<QWidget *, const char *> moved[] = {
        {gOsc1, "gOsc1"}, {gOsc2, "gOsc2"}, {VCFadsr, "VCFadsr"}, {VCAadsr, "VCAadsr"}, {bGetPatch, "bGetPatch"}};
    for (const auto &[w, name] : moved) {
        const layout::TSharedControl &c = layout::SharedControl(name);
        w->move(toBcr ? c.BcrLeft : c.DiagLeft, toBcr ? c.BcrTop : c.DiagTop);
    }
}

void TfMain::ShowBcrLayout()
{
    PlaceControls(Wallpaper2);
    MoveShared(true);
}

void TfMain::ShowBlockDiagram()
{
    PlaceControls(Wallpaper1);
    MoveShared(false);
}

void TfMain::bMidiSetupClick()
{
    if (FSetupLink != nullptr)
        FSetupLink->ShowModal();
}

void TfMain::sbDonateClick() { QDesktopServices::openUrl(QUrl(QLatin1String(DonateUrl))); }

void TfMain::Label17Click() { RandomPatch(); }

void TfMain::bSavePatchClick() { Library->SavePatch(); }
