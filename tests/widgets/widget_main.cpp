#include <gtest/gtest.h>

#include <QApplication>

#include "Dialogs.h"
#include "Hints.h"

int main(int argc, char **argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    // Forms are tested off screen; the real X server is the end-to-end tier's.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    forms::SetUnattended(true); // a box nobody scripted must not wait for a click
    forms::InstallPlainHints();

    return RUN_ALL_TESTS();
}
