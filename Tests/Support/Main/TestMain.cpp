#include <QGuiApplication>
#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv) {
    // Text and image drawing need a GUI application object; tests never show a window,
    // so the offscreen platform serves unless a suite asked for a real display.
    if (std::getenv("QT_QPA_PLATFORM") == nullptr) {
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    // The resources beside <build>/bin are not beside the test programs; a caller's own
    // setting wins.
    setenv("VI_RESOURCES", VI_TEST_RESOURCES_DIR, 0);
    QGuiApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
