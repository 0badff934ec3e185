#include "setup/DeviceFinder.h"

#include "core/MessageBoxes.h"
#include "engine/DeviceSearch.h"

#include <QInputDialog>
#include <QProgressDialog>
#include <QWidget>

namespace {

TDeviceFinder::TChooser &Chooser()
{
    static TDeviceFinder::TChooser chooser;
    return chooser;
}

QString Name(const std::vector<std::string> &names, int i)
{
    return i >= 0 && i < int(names.size()) ? QString::fromStdString(names[std::size_t(i)]) : QString::number(i);
}

// The search's notes, as a paragraph after the main text; empty without.
QString NotesText(const engine::TSearchResult &r)
{
    QString text;
    for (const std::string &note : r.Notes)
        text += QStringLiteral("\n\n") + QString::fromStdString(note);
    return text;
}

} // namespace

void TDeviceFinder::SetChooser(TChooser chooser) { Chooser() = std::move(chooser); }

int TDeviceFinder::Choose(const QString &question, const QStringList &items) const
{
    if (Chooser())
        return Chooser()(question, items);
    bool ok = false;
    const QString chosen = QInputDialog::getItem(FParent, ApplicationTitle(), question, items, 0, false, &ok);
    return ok ? int(items.indexOf(chosen)) : -1;
}

TDeviceFinder::TDeviceFinder(engine::TPortRoles &ports, QWidget *parent)
    : QObject(parent), FParent(parent), FSearch(new engine::TDeviceSearch(this))
{
    FSearch->SetPortRoles(&ports);
    connect(FSearch, &engine::TDeviceSearch::progress, this, [this](int done, int total, const QString &output) {
        if (!FProgress)
            return;
        FProgress->setMaximum(total);
        FProgress->setValue(done);
        if (!output.isEmpty())
            FProgress->setLabelText(QStringLiteral("Asking %1 (%2 of %3)").arg(output).arg(done + 1).arg(total));
    });
    connect(FSearch, &engine::TDeviceSearch::finished, this, [this] { Ended(); });
}

TDeviceFinder::~TDeviceFinder() = default;

bool TDeviceFinder::Busy() const { return FSearch->Busy(); }

void TDeviceFinder::Run()
{
    if (Busy())
        return;
    FProgress = new QProgressDialog(QStringLiteral("Looking for the DW-8000 and the BCR2000"), QStringLiteral("Cancel"),
                                    0, 1, FParent);
    FProgress->setObjectName(QStringLiteral("SearchProgress"));
    FProgress->setWindowModality(Qt::WindowModal);
    FProgress->setAutoClose(false);
    FProgress->setAutoReset(false);
    FProgress->setMinimumDuration(300);
    connect(FProgress, &QProgressDialog::canceled, FSearch, &engine::TDeviceSearch::Cancel);
    FSearch->Start();
}

void TDeviceFinder::Ended()
{
    if (FProgress) {
        FProgress->disconnect(FSearch);
        // Closed now: a deferred delete would wait for the question's own
        // event loop to end, and the window would cover the question.
        // cancel() also stops its timer for showing itself late.
        FProgress->cancel();
        FProgress->hide();
        FProgress->deleteLater();
        FProgress = nullptr;
    }
    const engine::TSearchResult &r = FSearch->Result();
    if (!r.Error.empty())
        ShowErrorBox(FParent, QString::fromStdString(r.Error));
    if (r.Cancelled) {
        emit finished();
        return;
    }
    if (r.Synths.empty() && r.Controllers.empty()) {
        ShowPlainBox(FParent, QStringLiteral("Neither the DW-8000 nor the BCR2000 answered. Check the cables, and "
                                             "that the DW-8000's exclusive data setting is on.") +
                                  NotesText(r));
        emit finished();
        return;
    }
    int synth = r.Synths.empty() ? -1 : 0;
    if (r.Synths.size() > 1) {
        QStringList items;
        for (const engine::TSynthCandidate &s : r.Synths)
            items << QStringLiteral("to %1, from %2, channel %3")
                         .arg(Name(r.OutputNames, s.Output), Name(r.InputNames, s.Input))
                         .arg(s.Channel + 1);
        synth = Choose(QStringLiteral("Several answers from a DW-8000. Which one?"), items);
    }
    int controller = r.Controllers.empty() ? -1 : 0;
    if (r.Controllers.size() > 1) {
        QStringList items;
        for (const engine::TControllerCandidate &c : r.Controllers)
            items << QStringLiteral("to %1, from %2 (%3)")
                         .arg(Name(r.OutputNames, c.Output), Name(r.InputNames, c.Input),
                              QString::fromStdString(c.Identity));
        controller = Choose(QStringLiteral("Several answers from a BCR2000. Which one?"), items);
    }
    QStringList found;
    if (synth >= 0) {
        const engine::TSynthCandidate &s = r.Synths[std::size_t(synth)];
        found << QStringLiteral("DW-8000: to %1, from %2, channel %3")
                     .arg(Name(r.OutputNames, s.Output), Name(r.InputNames, s.Input))
                     .arg(s.Channel + 1);
    } else {
        found << QStringLiteral("DW-8000: no answer");
    }
    if (controller >= 0) {
        const engine::TControllerCandidate &c = r.Controllers[std::size_t(controller)];
        found << QStringLiteral("BCR2000: to %1, from %2").arg(Name(r.OutputNames, c.Output), Name(r.InputNames, c.Input));
    } else {
        found << QStringLiteral("BCR2000: no answer");
    }
    if (synth >= 0 || controller >= 0) {
        const TMsgResult answer =
            ShowMessageBox(FParent, {QStringLiteral("Find devices"),
                                     found.join(QLatin1Char('\n')) + NotesText(r) + QStringLiteral("\n\nUse these?"),
                                     TMsgIcon::Question, TMsgButtons::YesNo});
        if (answer == TMsgResult::Yes)
            Apply(synth, controller);
    }
    emit finished();
}

void TDeviceFinder::Apply(int synth, int controller)
{
    const engine::TSearchResult &r = FSearch->Result();
    const engine::TSynthCandidate s = synth >= 0 ? r.Synths[std::size_t(synth)] : engine::TSynthCandidate{-1, -1, -1};
    const engine::TControllerCandidate c =
        controller >= 0 ? r.Controllers[std::size_t(controller)] : engine::TControllerCandidate{-1, -1, {}};
    emit chosen(s.Output, s.Input, s.Channel, c.Output, c.Input);
}
