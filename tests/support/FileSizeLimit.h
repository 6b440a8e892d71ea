// A full disk for the copies a test makes: no file may grow beyond a limit while `run` runs.
// Writes past it fail with EFBIG instead of ending the process (SIGXFSZ is ignored meanwhile).
#pragma once

#include <gtest/gtest.h>

#include <csignal>
#include <sys/resource.h>

template <typename F> void WithFileSizeLimit(rlim_t limit, F run) {
    struct sigaction ignore {};
    struct sigaction old {};
    ignore.sa_handler = SIG_IGN;
    ASSERT_EQ(::sigaction(SIGXFSZ, &ignore, &old), 0);
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = limit;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    run();
    ::setrlimit(RLIMIT_FSIZE, &saved);
    ::sigaction(SIGXFSZ, &old, nullptr);
}
