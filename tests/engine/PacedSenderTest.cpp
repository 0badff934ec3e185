// The paced sender against a device of the virtual backend: gaps measured
// on the device's side, answers, time-outs, cancel and failed sends, all
// while the event loop keeps running.

#include "engine/PacedSender.h"
#include "midi/MidiOut.h"
#include "platform/VirtualMidiService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <optional>

using engine::TPacedSender;
using namespace std::chrono_literals;

namespace {

class PacedSenderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        service = std::make_shared<platform::VirtualMidiService>();
        platform::SetCurrentMidiService(service);
        device = service->CreateDevice("unit");
        out = std::make_unique<TMidiOutput>(nullptr);
        out->SetDeviceID(0);
        ASSERT_TRUE(out->Open());
        QObject::connect(&sender, &TPacedSender::finished, [this](TPacedSender::TOutcome o, int step, const QString &e) {
            outcome = o;
            endStep = step;
            error = e;
            ++finishedCount;
        });
    }

    void TearDown() override
    {
        out.reset();
        platform::SetCurrentMidiService(nullptr);
    }

    static std::vector<TPacedSender::TStep> Steps(int n, std::chrono::milliseconds gap,
                                                  std::chrono::milliseconds answer = 0ms)
    {
        std::vector<TPacedSender::TStep> steps;
        for (int i = 0; i < n; ++i)
            steps.push_back({{0xF0, std::uint8_t(i), 0xF7}, gap, answer});
        return steps;
    }

    // Runs the event loop until the run ends; counts the loop's turns.
    bool RunToEnd(int ms = 3000)
    {
        QElapsedTimer t;
        t.start();
        while (!outcome && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
            ++turns;
        }
        return outcome.has_value();
    }

    std::size_t SentCount() const { return service->SentMessages().size(); }

    std::shared_ptr<platform::VirtualMidiService> service;
    std::shared_ptr<platform::VirtualMidiDevice> device;
    std::unique_ptr<TMidiOutput> out;
    TPacedSender sender;
    std::optional<TPacedSender::TOutcome> outcome;
    int endStep = -1;
    QString error;
    int finishedCount = 0;
    int turns = 0;
};

} // namespace

TEST_F(PacedSenderTest, KeepsEveryGapAndTheWindowTurning)
{
    // Gaps are measured where the messages are handed to the port: the
    // delivery thread behind it may shift each one by its wake-up time.
    std::vector<qint64> handedAt;
    QElapsedTimer clock;
    clock.start();
    QObject::connect(&sender, &TPacedSender::progress, [&](int, int) { handedAt.push_back(clock.nsecsElapsed()); });
    ASSERT_TRUE(sender.Start(*out, Steps(6, 15ms)));
    EXPECT_FALSE(sender.Start(*out, Steps(1, 0ms))); // one run at a time
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(*outcome, TPacedSender::TOutcome::Done);
    EXPECT_EQ(endStep, 6);
    ASSERT_TRUE(service->WaitForSent(6, 1s));
    const auto sent = service->SentMessages();
    ASSERT_EQ(handedAt.size(), 6u);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(sent[i].bytes, (std::vector<std::uint8_t>{0xF0, std::uint8_t(i), 0xF7}));
        if (i > 0)
            EXPECT_GE(handedAt[i] - handedAt[i - 1], 14'000'000) << i; // timer rounding: 1 ms
    }
    EXPECT_GT(turns, 20); // the loop ran between sends instead of sleeping
    EXPECT_EQ(finishedCount, 1);
}

TEST_F(PacedSenderTest, AnswerSendsTheNextAtOnceAndSilenceEndsTheRun)
{
    int progressed = 0;
    QObject::connect(&sender, &TPacedSender::progress, [&](int sent, int total) {
        progressed = sent;
        EXPECT_EQ(total, 3);
        if (sent == 1)
            sender.Answer(); // answered at once: step 2 need not wait the time-out
    });
    QElapsedTimer t;
    t.start();
    ASSERT_TRUE(sender.Start(*out, Steps(3, 0ms, 300ms)));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(*outcome, TPacedSender::TOutcome::NoAnswer);
    EXPECT_EQ(endStep, 1); // step 2 went unanswered
    EXPECT_EQ(progressed, 2);
    EXPECT_GE(t.elapsed(), 290); // step 2 waited its whole time-out; step 1 did not
    EXPECT_TRUE(service->WaitForSent(2, 1s));
    EXPECT_EQ(SentCount(), 2u);
}

TEST_F(PacedSenderTest, CancelStopsBeforeTheNextSend)
{
    QObject::connect(&sender, &TPacedSender::progress, [&](int sent, int) {
        if (sent == 2)
            sender.Cancel();
    });
    ASSERT_TRUE(sender.Start(*out, Steps(5, 5ms)));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(*outcome, TPacedSender::TOutcome::Cancelled);
    EXPECT_EQ(endStep, 2);
    EXPECT_TRUE(service->WaitForSent(2, 1s));
    QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(SentCount(), 2u);
    EXPECT_EQ(finishedCount, 1);
    EXPECT_FALSE(sender.Busy());
}

TEST_F(PacedSenderTest, FailedSendEndsTheRunWithItsText)
{
    service->InjectFault(platform::MidiCall::OutLong, platform::MMSYSERR_NOMEM, 1, 1);
    ASSERT_TRUE(sender.Start(*out, Steps(3, 0ms)));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(*outcome, TPacedSender::TOutcome::SendFailed);
    EXPECT_EQ(endStep, 1);
    EXPECT_FALSE(error.isEmpty());

    outcome.reset();
    out->Close();
    ASSERT_TRUE(sender.Start(*out, Steps(1, 0ms)));
    ASSERT_TRUE(RunToEnd());
    EXPECT_EQ(*outcome, TPacedSender::TOutcome::SendFailed); // a closed output is no success
}

TEST_F(PacedSenderTest, ShortMessagesGoAsShortMessages)
{
    ASSERT_TRUE(sender.Start(*out, {{{0xB0, 44, 7}, 0ms, 0ms}, {{0xC0, 5}, 0ms, 0ms}}));
    ASSERT_TRUE(RunToEnd());
    ASSERT_TRUE(service->WaitForSent(2, 1s));
    const auto sent = service->SentMessages();
    EXPECT_FALSE(sent[0].isLong);
    EXPECT_EQ(sent[0].bytes, (std::vector<std::uint8_t>{0xB0, 44, 7}));
    EXPECT_EQ(sent[1].bytes, (std::vector<std::uint8_t>{0xC0, 5}));
}

// An answer that comes when nothing awaits it, and a cancel with no run,
// must not send anything: the marker run's message is the next one out.
TEST_F(PacedSenderTest, LateAnswersAndIdleCancelsSendNothing)
{
    struct Row {
        const char *name;
        bool cancelAtFirstSend; // else the first step's time-out ends the run
        TPacedSender::TOutcome outcome;
    };
    const Row rows[] = {{"answer after the time-out", false, TPacedSender::TOutcome::NoAnswer},
                        {"answer after a cancel", true, TPacedSender::TOutcome::Cancelled}};
    const std::vector<std::uint8_t> marker{0xF0, 0x7D, 0xF7};
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        service->ClearSentMessages();
        outcome.reset();
        finishedCount = 0;
        const QMetaObject::Connection c = QObject::connect(&sender, &TPacedSender::progress, [&](int sent, int) {
            if (sent == 1 && row.cancelAtFirstSend)
                sender.Cancel();
        });
        ASSERT_TRUE(sender.Start(*out, Steps(3, 0ms, 50ms)));
        ASSERT_TRUE(RunToEnd());
        QObject::disconnect(c);
        EXPECT_EQ(*outcome, row.outcome);
        sender.Answer(); // too late
        sender.Cancel(); // nothing to cancel
        EXPECT_FALSE(sender.Busy());
        EXPECT_EQ(finishedCount, 1);
        outcome.reset();
        ASSERT_TRUE(sender.Start(*out, {{marker, 0ms, 0ms}}));
        ASSERT_TRUE(RunToEnd());
        ASSERT_TRUE(service->WaitForSent(2, 1s));
        const auto sent = service->SentMessages();
        ASSERT_EQ(sent.size(), 2u);
        EXPECT_EQ(sent[0].bytes, (std::vector<std::uint8_t>{0xF0, 0x00, 0xF7}));
        EXPECT_EQ(sent[1].bytes, marker);
        EXPECT_EQ(finishedCount, 2);
    }
}
