// Widget tests run on the offscreen platform with settings in a scratch home of their own.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>

int main(int argc, char** argv) {
    QTemporaryDir home;
    if (!home.isValid()) return 2;
    const QByteArray root = home.path().toLocal8Bit();
    for (const char* name :
         {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_RUNTIME_DIR", "TMPDIR"}) {
        const QByteArray dir = root + "/" + name;
        QDir().mkpath(QString::fromLocal8Bit(dir));
        setenv(name, dir.constData(), 1);
    }
    QDir().mkpath(QString::fromLocal8Bit(root + "/XDG_RUNTIME_DIR"));
    chmod((root + "/XDG_RUNTIME_DIR").constData(), 0700);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
