#include "app/DemoPanel.h"

#include "sim/SimRig.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

#include <algorithm>

namespace {

struct Encoder {
    const char *name;
    int controller;
    int max;
};

// A few BCR2000 encoders as the editor's preset programs them.
constexpr Encoder kEncoders[] = {
    {"VCF Cutoff", 44, 63}, {"VCF Resonance", 45, 31}, {"VCA Attack", 60, 31}, {"VCF Env Attack", 52, 31}};

} // namespace

TDemoPanel::TDemoPanel(TSimRig &rig, QWidget *parent) : QWidget(parent, Qt::Window), FRig(rig)
{
    setWindowTitle(QStringLiteral("Tavrelk demonstration"));
    setAttribute(Qt::WA_QuitOnClose, false); // closing the editor ends the demonstration
    auto *layout = new QVBoxLayout(this);

    auto *synth = new QGroupBox(QStringLiteral("Simulated DW-8000"), this);
    auto *sl = new QGridLayout(synth);
    FProgram = new QLabel(synth);
    auto *prev = new QPushButton(QStringLiteral("< Program"), synth);
    auto *next = new QPushButton(QStringLiteral("Program >"), synth);
    sl->addWidget(FProgram, 0, 0, 1, 2);
    sl->addWidget(prev, 1, 0);
    sl->addWidget(next, 1, 1);
    connect(prev, &QPushButton::clicked, this, [this] { StepProgram(-1); });
    connect(next, &QPushButton::clicked, this, [this] { StepProgram(+1); });
    layout->addWidget(synth);

    auto *bcr = new QGroupBox(QStringLiteral("Simulated BCR2000"), this);
    auto *bl = new QGridLayout(bcr);
    int row = 0;
    for (const Encoder &e : kEncoders) {
        auto *slider = new QSlider(Qt::Horizontal, bcr);
        slider->setRange(0, e.max);
        bl->addWidget(new QLabel(QLatin1String(e.name), bcr), row, 0);
        bl->addWidget(slider, row++, 1);
        const int controller = e.controller;
        connect(slider, &QSlider::valueChanged, this,
                [this, controller](int v) { FRig.Controller().TurnEncoder(controller, v); });
    }
    auto *random = new QPushButton(QStringLiteral("Random patch button"), bcr);
    bl->addWidget(random, row, 0, 1, 2);
    connect(random, &QPushButton::pressed, this, [this] { FRig.Controller().PressRandomButton(); });
    connect(random, &QPushButton::released, this, [this] { FRig.Controller().ReleaseRandomButton(); });
    // The first three user keys: undo, redo, mutate.
    const std::pair<const char *, int> keys[] = {{"Undo key", SimBcr2000::UndoKeyController},
                                                 {"Redo key", SimBcr2000::RedoKeyController},
                                                 {"Mutate key", SimBcr2000::MutateKeyController}};
    auto *keyRow = new QHBoxLayout;
    for (const auto &[text, controller] : keys) {
        auto *key = new QPushButton(QLatin1String(text), bcr);
        key->setObjectName(QLatin1String(text));
        keyRow->addWidget(key);
        connect(key, &QPushButton::clicked, this, [this, c = controller] { FRig.Controller().ClickUserKey(c); });
    }
    bl->addLayout(keyRow, ++row, 0, 1, 2);
    layout->addWidget(bcr);
    StepProgram(0);
}

void TDemoPanel::StepProgram(int delta)
{
    const int count = SimDw8000::ProgramCount;
    const int program = (FRig.Synth().Program() + delta + count) % count;
    if (delta != 0)
        FRig.Synth().SelectProgram(program); // sends the program change the editor follows
    FProgram->setText(QStringLiteral("Program %1%2").arg(program / 8 + 1).arg(program % 8 + 1));
}

namespace {

// Moves a span [start, start + length) into [low, high): its start, or low when it cannot fit.
int Fit(int start, int length, int low, int high)
{
    return std::max(low, std::min(start, high - length));
}

} // namespace

TDemoPlacement PlaceDemoPanel(const QRect &screen, const QRect &mainFrame, const QSize &panel, int gap)
{
    const int left = screen.left(), top = screen.top();
    const int right = left + screen.width(), bottom = top + screen.height(); // exclusive
    QRect main = mainFrame;
    auto besideY = [&] { return Fit(main.top(), panel.height(), top, bottom); };
    auto belowX = [&] { return Fit(main.left(), panel.width(), left, right); };

    // Beside or below the main window where it stands.
    if (main.left() + main.width() + gap + panel.width() <= right)
        return {main.topLeft(), {main.left() + main.width() + gap, besideY()}};
    if (main.left() - gap - panel.width() >= left)
        return {main.topLeft(), {main.left() - gap - panel.width(), besideY()}};
    if (main.top() + main.height() + gap + panel.height() <= bottom)
        return {main.topLeft(), {belowX(), main.top() + main.height() + gap}};
    if (main.top() - gap - panel.height() >= top)
        return {main.topLeft(), {belowX(), main.top() - gap - panel.height()}};

    // Room is made by moving the main window towards the left or the top edge.
    if (main.width() + gap + panel.width() <= screen.width()) {
        main.moveLeft(right - main.width() - gap - panel.width());
        main.moveLeft(Fit(main.left(), main.width(), left, right));
        return {main.topLeft(), {main.left() + main.width() + gap, besideY()}};
    }
    if (main.height() + gap + panel.height() <= screen.height()) {
        main.moveTop(bottom - main.height() - gap - panel.height());
        main.moveTop(Fit(main.top(), main.height(), top, bottom));
        return {main.topLeft(), {belowX(), main.top() + main.height() + gap}};
    }
    // Too small for both: the panel at the main window's right, on the screen.
    return {main.topLeft(), {Fit(main.left() + main.width() - panel.width(), panel.width(), left, right), besideY()}};
}
