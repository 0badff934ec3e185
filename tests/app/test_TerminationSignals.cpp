#include "platform/TerminationSignals.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>

namespace {

void Untouched(int) {}

// Runs a loop until something ends it; false when the time ran out.
bool LoopEndedBySignal(int signal)
{
    bool timedOut = false;
    {
        QEventLoop loop;
        QTimer::singleShot(5000, &loop, [&] {
            timedOut = true;
            loop.exit(1);
        });
        raise(signal);
        loop.exec();
    }
    // An exit outside the application's own loop makes every later loop end
    // at once; a short run of that loop clears it for the next test.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::quit(); });
    QCoreApplication::exec();
    return !timedOut;
}

struct sigaction Current(int signal)
{
    struct sigaction now = {};
    sigaction(signal, nullptr, &now);
    return now;
}

} // namespace

TEST(TerminationSignals, EachSignalEndsTheRunningLoopsFromTheUiThread)
{
    for (const int signal : TTerminationSignals::kSignals) {
        const TTerminationSignals terminations;
        EXPECT_FALSE(terminations.Requested());
        EXPECT_TRUE(LoopEndedBySignal(signal)) << signal;
        EXPECT_TRUE(terminations.Requested());
        EXPECT_EQ(terminations.LastSignal(), signal);
    }
}

TEST(TerminationSignals, OldHandlersComeBackAndIgnoredSignalsStayIgnored)
{
    const auto oldTerm = std::signal(SIGTERM, &Untouched);
    const auto oldHup = std::signal(SIGHUP, SIG_IGN);
    {
        const TTerminationSignals terminations;
        EXPECT_NE(Current(SIGTERM).sa_handler, &Untouched);
        EXPECT_EQ(Current(SIGHUP).sa_handler, SIG_IGN);  // as under nohup
        EXPECT_THROW(TTerminationSignals(), std::logic_error);
    }
    EXPECT_EQ(Current(SIGTERM).sa_handler, &Untouched);
    EXPECT_EQ(Current(SIGHUP).sa_handler, SIG_IGN);
    std::signal(SIGTERM, oldTerm);
    std::signal(SIGHUP, oldHup);

    // A later object installs again.
    const TTerminationSignals again;
    EXPECT_TRUE(LoopEndedBySignal(SIGINT));
}
