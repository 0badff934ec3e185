#include "engine/BcrUpload.h"

#include "dw/BcrMessages.h"
#include "dw/Messages.h"
#include "engine/Editor.h"
#include "engine/PacedSender.h"
#include "engine/PortRoles.h"
#include "midi/MidiIn.h"
#include "midi/MidiOut.h"

#include <QTimer>

#include <algorithm>
#include <exception>
#include <memory>

namespace engine {

QString UploadSummary(const TUploadReport &r, int shownErrors)
{
    QStringList parts;
    switch (r.End) {
    case TUploadReport::TEnd::Done:
        if (r.Errors.empty() && r.Unanswered == 0 && r.Listened)
            parts << QStringLiteral("The BCR2000 accepted all %1 lines.").arg(r.Total);
        else
            parts << QStringLiteral("All %1 lines were sent.").arg(r.Total);
        break;
    case TUploadReport::TEnd::Cancelled:
        parts << QStringLiteral("Upload cancelled at line %1 of %2.").arg(r.CancelledAt).arg(r.Total);
        break;
    case TUploadReport::TEnd::SendFailed:
        parts << QStringLiteral("The upload stopped after %1 of %2 lines: %3").arg(r.Sent).arg(r.Total).arg(r.SendError);
        break;
    }
    if (!r.Listened)
        parts << QStringLiteral("No controller input is selected, so the unit's answers could not be heard; "
                                "sent with fixed pacing.");
    else if (r.Unanswered > 0)
        parts << QStringLiteral("The unit did not answer (line %1); sent with fixed pacing.").arg(r.Unanswered);
    if (!r.Errors.empty()) {
        parts << (r.Errors.size() == 1 ? QStringLiteral("The unit reported an error:")
                                       : QStringLiteral("The unit reported %1 errors:").arg(r.Errors.size()));
        const int shown = std::min<int>(shownErrors, int(r.Errors.size()));
        for (int i = 0; i < shown; ++i) {
            const TUploadError &e = r.Errors[std::size_t(i)];
            parts << QStringLiteral("line %1 \"%2\": error %3, %4")
                         .arg(e.Number)
                         .arg(QString::fromStdString(e.Text).trimmed())
                         .arg(e.Code)
                         .arg(QLatin1String(dw::BclErrorName(e.Code)));
        }
        if (shown < int(r.Errors.size()))
            parts << QStringLiteral("(and %1 more)").arg(int(r.Errors.size()) - shown);
    }
    return parts.join(QLatin1Char('\n'));
}

TBcrUpload::TBcrUpload(TPortRoles &ports, TEditor &editor, bool listen, QObject *parent)
    : QObject(parent), FPorts(ports), FEditor(editor), FListen(listen), FSender(new TPacedSender(this))
{
    connect(FSender, &TPacedSender::progress, this,
            [this](int sent, int) { emit progress(FBase + sent, int(FLines.size())); });
    connect(FSender, &TPacedSender::finished, this,
            [this](TPacedSender::TOutcome outcome, int step, const QString &error) {
                SenderFinished(int(outcome), step, error);
            });
}

TBcrUpload::~TBcrUpload() { Unhook(); }

bool TBcrUpload::Busy() const { return FRunning; }

bool TBcrUpload::Start(std::vector<TUploadLine> lines)
{
    if (Busy())
        return false;
    FLines = std::move(lines);
    FIndex.clear();
    for (const TUploadLine &l : FLines) {
        const auto line = dw::ParseBclLine(l.Bytes.data(), l.Bytes.size());
        FIndex.push_back(line ? line->Index : -1);
    }
    FFailed.assign(FLines.size(), false);
    FReport = {};
    FReport.Total = int(FLines.size());
    FReport.Listened = FListen && FPorts.IsOpen(TRole::CtrlIn);
    FRunning = true;
    if (FReport.Listened && !FListener.Active())
        FListener = FPorts.Listeners(TRole::CtrlIn).Subscribe(
            [this](const TInputDispatcher::TEvents &events) { Peek(events); });
    RunFrom(0, FReport.Listened);
    return true;
}

void TBcrUpload::Cancel()
{
    if (FSender->Busy())
        FSender->Cancel();
}

void TBcrUpload::RunFrom(int first, bool awaitAnswers)
{
    FBase = first;
    FAwaiting = awaitAnswers;
    std::vector<TPacedSender::TStep> steps;
    for (std::size_t i = std::size_t(first); i < FLines.size(); ++i) {
        TPacedSender::TStep s;
        s.Bytes = FLines[i].Bytes;
        s.MinGap = awaitAnswers ? std::chrono::milliseconds(0) : FixedGap;
        s.AnswerTimeout = awaitAnswers ? FAnswerTimeout : std::chrono::milliseconds(0);
        s.AsLong = true; // the file's bytes as they are, even a stray few before an F0
        steps.push_back(std::move(s));
    }
    FSender->Start(FPorts.CtrlOut(), std::move(steps));
}

void TBcrUpload::SenderFinished(int outcome, int step, const QString &error)
{
    const int line = FBase + step;
    switch (TPacedSender::TOutcome(outcome)) {
    case TPacedSender::TOutcome::NoAnswer:
        FReport.Unanswered = FLines[std::size_t(line)].Number;
        FReport.Sent = line + 1;
        RunFrom(line + 1, false);
        return;
    case TPacedSender::TOutcome::Done:
        FReport.Sent = line;
        FReport.End = TUploadReport::TEnd::Done;
        // With fixed pacing the last lines' answers may still be on their way.
        if (FListener.Active() && !FAwaiting) {
            QTimer::singleShot(FAnswerTimeout, this, [this] { Finish(); });
            return;
        }
        break;
    case TPacedSender::TOutcome::Cancelled:
        FReport.Sent = line;
        FReport.End = TUploadReport::TEnd::Cancelled;
        FReport.CancelledAt = line < int(FLines.size()) ? FLines[std::size_t(line)].Number : FReport.Total;
        break;
    case TPacedSender::TOutcome::SendFailed:
        FReport.Sent = line;
        FReport.End = TUploadReport::TEnd::SendFailed;
        FReport.SendError = error;
        break;
    }
    Finish();
}

void TBcrUpload::Finish()
{
    std::stable_sort(FReport.Errors.begin(), FReport.Errors.end(),
                     [](const TUploadError &a, const TUploadError &b) { return a.Number < b.Number; });
    // The last answer may end the run from inside the listener: the run ends
    // once that call has returned.
    QTimer::singleShot(0, this, [this] {
        Unhook();
        FRunning = false;
        // Told whatever the echo does: a failed send is raised after it.
        std::exception_ptr failure;
        if (Confirmed()) {
            try {
                FEditor.EchoPatch();
            } catch (...) {
                failure = std::current_exception();
            }
        }
        emit finished();
        if (failure)
            std::rethrow_exception(failure);
    });
}

bool TBcrUpload::Confirmed() const
{
    return FReport.Total > 0 && FReport.Clean() && FReport.Listened && FReport.Unanswered == 0;
}

void TBcrUpload::Unhook() { FListener.Reset(); }

void TBcrUpload::Peek(const TInputDispatcher::TEvents &events)
{
    // The unit's answers; the editor, listening beside, takes the moves.
    for (const std::unique_ptr<TMyMidiEvent> &ev : events) {
        if (ev->StatusByte == 0xF0 && ev->SysexBytes)
            TakeReply(ev->SysexBytes.get(), ev->SysexSize);
    }
}

void TBcrUpload::TakeReply(const std::uint8_t *data, std::size_t size)
{
    const std::optional<dw::TBclReply> reply = dw::ParseBclReply(data, size);
    if (!reply)
        return;
    // The latest line sent with that index: an index repeats only across scripts.
    const int sent = FBase + FSender->Sent();
    int line = -1;
    for (int i = std::min(sent, int(FLines.size())) - 1; i >= 0; --i) {
        if (FIndex[std::size_t(i)] == reply->Index) {
            line = i;
            break;
        }
    }
    if (line < 0)
        return;
    if (reply->Error != 0 && !FFailed[std::size_t(line)]) {
        FFailed[std::size_t(line)] = true;
        const auto text = dw::ParseBclLine(FLines[std::size_t(line)].Bytes.data(), FLines[std::size_t(line)].Bytes.size());
        FReport.Errors.push_back({FLines[std::size_t(line)].Number, text ? text->Text : std::string(), reply->Error});
    }
    if (FAwaiting && FSender->Busy() && line == sent - 1)
        FSender->Answer();
}

} // namespace engine
