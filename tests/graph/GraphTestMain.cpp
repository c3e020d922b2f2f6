// Drawing needs fonts, hence a GUI application; the offscreen platform needs no display.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QGuiApplication>

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QGuiApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
