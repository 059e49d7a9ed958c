#include "console/qt/CConsoleApplication.h"

#include <QApplication>
#include <gtest/gtest.h>

// The console's windows need an application object for the whole run, offscreen.
int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    CConsoleApplication::Prepare();
    return RUN_ALL_TESTS();
}
