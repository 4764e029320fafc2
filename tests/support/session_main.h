#pragma once
// The main of a test program whose tests run inside a session it starts
// itself (a virtual X screen, a session bus, a compositor): listing the
// tests starts nothing, and the session ends once they have run.

#include <QApplication>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace pictorand::testing {

inline int runInSession(int argc, char** argv, void (*start)(), void (*stop)())
{
    bool listing = false;
    for (int i = 1; i < argc; ++i)
        listing = listing || std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
    ::testing::InitGoogleTest(&argc, argv);
    if (listing)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    else
        start();
    int result = 0;
    {
        QApplication application(argc, argv);
        result = RUN_ALL_TESTS();
    }
    stop();
    return result;
}

} // namespace pictorand::testing
