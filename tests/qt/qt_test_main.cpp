#include <cstdio>

#include <gtest/gtest.h>
#include <QApplication>

// One QApplication for all tests of a binary, on the platform the binary is built for: "offscreen"
// for the widget tests, "xcb" for those that need the X11 clipboard (run them through with_xvfb.sh).
int main(int argc, char* argv[]) {
    ::testing::InitGoogleTest(&argc, argv);
    const bool x11 = std::string_view(ZANTHREL_TEST_PLATFORM) == "xcb";
    if (x11 && qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "These tests need an X display: run them through tests/qt/with_xvfb.sh\n");
        return 1;
    }
    qputenv("QT_QPA_PLATFORM", ZANTHREL_TEST_PLATFORM);
    QApplication application(argc, argv);
    return RUN_ALL_TESTS();
}
