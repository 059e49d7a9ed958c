// The main of the test programs that use sockets: the socket layer is held for the whole
// run (Winsock started on Windows; on Linux a peer's close raises no SIGPIPE).
#include "net/CWinsockSession.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    const ZiRez::CWinsockSession sockets;
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
