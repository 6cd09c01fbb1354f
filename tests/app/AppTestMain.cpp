// One application object for every test of the program (dialogs need it); runs headless
// through QT_QPA_PLATFORM=offscreen, which the test setup sets.
#include "app/TavikApp.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace App;

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    CTavikApp app(argc, argv);
    return RUN_ALL_TESTS();
}
