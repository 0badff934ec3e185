#include <QApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <csignal>
#include <execinfo.h>
#include <unistd.h>

namespace {

// A crash on a test machine is often seen once: leave the stack of the
// thread that crashed on standard error (async-signal-safe calls only),
// then end as the signal would have ended the process.
void ReportCrash(int signal)
{
    static const char kHeader[] = "\n*** fatal signal in the test process; the crashing thread's stack:\n";
    ssize_t ignored = write(STDERR_FILENO, kHeader, sizeof kHeader - 1);
    (void)ignored;
    void *frames[64];
    backtrace_symbols_fd(frames, backtrace(frames, 64), STDERR_FILENO);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

void ReportCrashes()
{
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__) // theirs says more
    void *warmUp[1];
    backtrace(warmUp, 1); // loads the unwinder now, not inside the handler
    for (const int s : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        std::signal(s, ReportCrash);
#endif
}

} // namespace

// Every test binary owns one QApplication so that widget, timer and
// posted-event tests can run; headless unless the caller chose a platform.
// The editor keeps every patch it sees in the user's patch library: a test
// run, and every program it starts, keeps them in a folder of its own instead.
int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QTemporaryDir dataHome;
    if (!dataHome.isValid())
        return 2;
    qputenv("XDG_DATA_HOME", dataHome.path().toUtf8());
    ReportCrashes();
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
