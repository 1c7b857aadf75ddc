#include "support/wait.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "support/fd.h"

namespace support {
namespace {

using Clock = std::chrono::steady_clock;

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A pseudo-terminal: keys written to the master arrive on the slave, the wait's input.
struct Pty {
    Fd master{::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)};
    Fd slave;
    Pty() {
        ::grantpt(master.get());
        ::unlockpt(master.get());
        slave = Fd(::open(::ptsname(master.get()), O_RDWR | O_NOCTTY | O_CLOEXEC));
    }
    void type(const char* key) const { (void)!::write(master.get(), key, 1); }
};

TEST(Wait, KeyTypedEarlierEndsTheTimedWaitAtOnceAndIsTaken) {
    Pty pty;
    ASSERT_TRUE(pty.slave);
    termios before{};
    ::tcgetattr(pty.slave.get(), &before);
    pty.type("x");
    const auto start = Clock::now();
    (void)timed_wait(pty.slave.get(), 60'000);
    EXPECT_LT(seconds_since(start), 0.2);

    termios after{};
    ::tcgetattr(pty.slave.get(), &after);
    EXPECT_EQ(before.c_lflag, after.c_lflag);  // canonical mode and echo are back

    // the key was read: a second, short wait runs its full length
    const auto second = Clock::now();
    (void)timed_wait(pty.slave.get(), 150);
    EXPECT_GE(seconds_since(second), 0.14);
}

TEST(Wait, KeyDuringALongWaitEndsItWithinAStep) {
    Pty pty;
    std::thread typist([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        pty.type("q");
    });
    const auto start = Clock::now();
    (void)timed_wait(pty.slave.get(), 60'000);
    const double waited = seconds_since(start);
    typist.join();
    EXPECT_GE(waited, 0.28);
    EXPECT_LT(waited, 0.55);  // soon after the key, with room for a loaded machine
}

TEST(Wait, KeyWaitOnATerminalEndsOnAKey) {
    Pty pty;
    std::thread typist([&pty] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        pty.type("\n");
    });
    const auto start = Clock::now();
    (void)key_wait(pty.slave.get());
    typist.join();
    EXPECT_GE(seconds_since(start), 0.18);
}

TEST(Wait, WithoutATerminalTheKeyWaitEndsAtOnceAndTheTimedWaitRunsFully) {
    const Fd null{::open("/dev/null", O_RDONLY | O_CLOEXEC)};
    auto start = Clock::now();
    (void)key_wait(null.get());
    EXPECT_LT(seconds_since(start), 0.05);

    start = Clock::now();
    (void)timed_wait(null.get(), 220);
    const double waited = seconds_since(start);
    EXPECT_GE(waited, 0.219);
    EXPECT_LT(waited, 0.4);
}

TEST(Wait, InTheBackgroundOfItsTerminalAWaitNeitherStopsNorReads) {
    Pty pty;
    pty.type("x");
    const pid_t leader = ::fork();
    if (leader == 0) {
        // a session whose controlling terminal is the pty, and a job in its background
        ::setsid();
        const int tty = ::open(::ptsname(pty.master.get()), O_RDWR);
        ::ioctl(tty, TIOCSCTTY, 0);
        const pid_t job = ::fork();
        if (job == 0) {
            ::setpgid(0, 0);
            const auto start = Clock::now();
            (void)timed_wait(tty, 200);  // the typed key is not the background job's
            (void)key_wait(tty);
            ::_exit(seconds_since(start) >= 0.19 ? 0 : 3);
        }
        int status = 0;
        ::waitpid(job, &status, WUNTRACED);
        if (WIFSTOPPED(status)) {
            ::kill(job, SIGKILL);
            ::_exit(4);
        }
        ::_exit(WIFEXITED(status) ? WEXITSTATUS(status) : 5);
    }
    int status = 0;
    ::waitpid(leader, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "3: the wait read the key, 4: it stopped the job";
}

TEST(Wait, TermSignalEndsAWaitLikeAKey) {
    for (const int stop : {SIGTERM, SIGHUP}) {
        const auto start = Clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            const int null = ::open("/dev/null", O_RDONLY);
            (void)timed_wait(null, 60'000);
            ::_exit(7);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        ::kill(child, stop);
        int status = 0;
        ::waitpid(child, &status, 0);
        EXPECT_TRUE(WIFEXITED(status)) << "signal " << stop << " killed the process";
        EXPECT_EQ(WEXITSTATUS(status), 7);
        EXPECT_LT(seconds_since(start), 1.0);
    }
}

TEST(Wait, AnInterruptEndsAWaitAfterPuttingTheTerminalBack) {
    for (const int stop : {SIGINT, SIGQUIT}) {
        Pty pty;
        termios before{};
        ::tcgetattr(pty.slave.get(), &before);
        const pid_t child = ::fork();
        if (child == 0) {
            ::_exit(timed_wait(pty.slave.get(), 60'000) == stop ? 0 : 3);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        termios during{};
        ::tcgetattr(pty.slave.get(), &during);
        ::kill(child, stop);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0) << "3: the wait did not report signal " << stop;
        termios after{};
        ::tcgetattr(pty.slave.get(), &after);
        EXPECT_NE(during.c_lflag, before.c_lflag);  // the wait did change it
        EXPECT_EQ(after.c_lflag, before.c_lflag);
    }
}

}  // namespace
}  // namespace support
