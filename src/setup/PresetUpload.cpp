#include "setup/PresetUpload.h"

#include "core/MessageBoxes.h"
#include "engine/BcrUpload.h"
#include "engine/PortRoles.h"
#include "midi/MidiOut.h"
#include "setup/PresetScan.h"

#include <QFile>
#include <QProgressDialog>
#include <QPushButton>

#include <stdexcept>
#include <vector>

TPresetUpload::TPresetUpload(engine::TPortRoles &ports, engine::TEditor &editor, QWidget *dialog, QPushButton *button)
    : QObject(dialog), FPorts(ports), FDialog(dialog), FButton(button),
      FUpload(new engine::TBcrUpload(ports, editor, true, this))
{
    connect(FUpload, &engine::TBcrUpload::progress, this, [this](int sent, int) {
        if (FProgress)
            FProgress->setValue(sent);
    });
    connect(FUpload, &engine::TBcrUpload::finished, this, [this] { Ended(); });
}

TPresetUpload::~TPresetUpload() = default;

bool TPresetUpload::Busy() const { return FUpload->Busy(); }

void TPresetUpload::Cancel() { FUpload->Cancel(); }

void TPresetUpload::Run(const QString &file)
{
    if (Busy())
        return;
    if (file.isEmpty()) {
        ShowPlainBox(FDialog, QStringLiteral("Can't Find BCR sysex file (Tavrelk.SYX) "));
        return;
    }
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        throw std::runtime_error(QStringLiteral("Cannot open file %1").arg(file).toStdString());
    const QByteArray data = f.readAll();

    if (FPorts.CtrlOut().State() == mosClosed) {
        ShowWarningBox(FDialog, QStringLiteral("No Midi output device selected for the BCR"));
        return;
    }
    std::vector<engine::TUploadLine> lines;
    FSkipped = 0;
    FFirstSkipped = 0;
    int number = 0;
    const auto *bytes = reinterpret_cast<const std::uint8_t *>(data.constData());
    ForEachPresetMessage(bytes, std::size_t(data.size()), [&](const TPresetSpan &m) {
        ++number;
        if (m.Skipped) {
            if (FSkipped++ == 0)
                FFirstSkipped = number;
        } else {
            lines.push_back({{bytes + m.Offset, bytes + m.Offset + m.Length}, number});
        }
    });
    if (FButton)
        FButton->setEnabled(false);
    FProgress = new QProgressDialog(QStringLiteral("Sending %1 to the BCR2000").arg(QLatin1String(PresetFileName)),
                                    QStringLiteral("Cancel"), 0, int(lines.size()), FDialog);
    FProgress->setObjectName(QStringLiteral("UploadProgress"));
    FProgress->setWindowModality(Qt::WindowModal);
    FProgress->setAutoClose(false);
    FProgress->setAutoReset(false);
    FProgress->setMinimumDuration(300);
    connect(FProgress, &QProgressDialog::canceled, FUpload, &engine::TBcrUpload::Cancel);
    FUpload->Start(std::move(lines));
}

void TPresetUpload::Ended()
{
    if (FProgress) {
        FProgress->disconnect(FUpload);
        FProgress->deleteLater();
        FProgress = nullptr;
    }
    const engine::TUploadReport &report = FUpload->Report();
    if (FButton)
        FButton->setEnabled(true);
    const QString name = QLatin1String(PresetFileName);
    if (FSkipped == 1) {
        ShowWarningBox(FDialog, QStringLiteral("Message %1 of %2 is longer than %3 bytes and was not sent")
                                    .arg(FFirstSkipped)
                                    .arg(name)
                                    .arg(PresetMessageBufferSize));
    } else if (FSkipped > 1) {
        ShowWarningBox(FDialog, QStringLiteral("%1 messages of %2 are longer than %3 bytes and were not sent "
                                               "(the first is message %4)")
                                    .arg(FSkipped)
                                    .arg(name)
                                    .arg(PresetMessageBufferSize)
                                    .arg(FFirstSkipped));
    }
    if (report.Total == 0) {
        emit finished(); // nothing was to be sent: the file has no message that fits
        return;
    }
    const QString summary = engine::UploadSummary(report);
    if (report.End == engine::TUploadReport::TEnd::SendFailed)
        ShowErrorBox(FDialog, summary);
    else if (report.Clean() && report.Listened && report.Unanswered == 0)
        ShowPlainBox(FDialog, summary);
    else
        ShowWarningBox(FDialog, summary);
    emit finished();
}
