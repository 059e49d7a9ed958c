// Gives this test process a private state directory before anything touches the store.
#include "Harness.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <signal.h>

int main(int argc, char** argv)
{
    signal(SIGPIPE, SIG_IGN);
    Harness::CTempDir stateDir;
    setenv("CORVANE_STATE_DIR", stateDir.Path().c_str(), 1);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
