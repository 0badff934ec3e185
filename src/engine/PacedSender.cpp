#include "engine/PacedSender.h"

#include "midi/MidiOut.h"

#include <exception>

namespace engine {

TPacedSender::TPacedSender(QObject *parent) : QObject(parent)
{
    for (QTimer *t : {&FPace, &FTimeout}) {
        t->setSingleShot(true);
        t->setTimerType(Qt::PreciseTimer);
    }
    connect(&FPace, &QTimer::timeout, this, [this] { SendNext(); });
    connect(&FTimeout, &QTimer::timeout, this, [this] {
        if (FAwaiting)
            Finish(TOutcome::NoAnswer, FNext - 1);
    });
}

bool TPacedSender::Start(TMidiOutput &out, std::vector<TStep> steps)
{
    if (FBusy)
        return false;
    FOut = &out;
    FSteps = std::move(steps);
    FNext = 0;
    FAwaiting = false;
    FBusy = true;
    FPace.start(0);
    return true;
}

void TPacedSender::Answer()
{
    if (!FBusy || !FAwaiting)
        return;
    FAwaiting = false;
    FTimeout.stop();
    ScheduleNext();
}

void TPacedSender::Cancel()
{
    if (FBusy)
        Finish(TOutcome::Cancelled, FNext);
}

void TPacedSender::ScheduleNext()
{
    if (FNext >= int(FSteps.size())) {
        Finish(TOutcome::Done, FNext);
        return;
    }
    const auto gap = FSteps[std::size_t(FNext - 1)].MinGap.count();
    FPace.start(int(std::max<qint64>(0, gap - FSince.elapsed())));
}

void TPacedSender::SendNext()
{
    if (!FBusy)
        return;
    if (FNext >= int(FSteps.size())) {
        Finish(TOutcome::Done, FNext);
        return;
    }
    const TStep &step = FSteps[std::size_t(FNext)];
    try {
        if (FOut == nullptr || FOut->State() == mosClosed)
            throw EMidiOutputError("The output is closed");
        if (!step.AsLong && !step.Bytes.empty() && step.Bytes.size() <= 3 && step.Bytes[0] != 0xF0)
            FOut->PutShort(step.Bytes[0], step.Bytes.size() > 1 ? step.Bytes[1] : 0,
                           step.Bytes.size() > 2 ? step.Bytes[2] : 0);
        else
            FOut->PutLong(step.Bytes.data(), std::uint16_t(step.Bytes.size()));
    } catch (const std::exception &e) {
        Finish(TOutcome::SendFailed, FNext, QString::fromLocal8Bit(e.what()));
        return;
    }
    FSince.start();
    ++FNext;
    // Awaiting before progress is told, so that an answer handled there counts.
    const bool awaits = step.AnswerTimeout.count() > 0;
    if (awaits) {
        FAwaiting = true;
        FTimeout.start(int(step.AnswerTimeout.count()));
    }
    emit progress(FNext, int(FSteps.size()));
    if (FBusy && !awaits)
        ScheduleNext();
}

void TPacedSender::Finish(TOutcome outcome, int step, const QString &error)
{
    FPace.stop();
    FTimeout.stop();
    FBusy = false;
    FAwaiting = false;
    emit finished(outcome, step, error);
}

} // namespace engine
