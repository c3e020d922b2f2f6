// A main frame with its document and view, as the application object builds them, over a
// scratch program directory.
#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QMenuBar>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>

#include "document/Document.h"
#include "app/MainFrame.h"
#include "app/Quillo95App.h"
#include "tests/shell/ShellEnv.h"

struct FrameFixture : ::testing::Test {
    std::unique_ptr<CQuillo95App> app;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<CQuillo95Doc> doc;
    QString dir;

    // Builds the frame (log with option L), then the document and view unless told not to.
    void Build(const char* name, bool log, bool withDocument = true,
               const QStringList& modules = {}) {
        dir = MakeScratch(name);
        for (const QString& m : modules)
            QFile::copy(QStringLiteral(QUILLON_TESTMODULE_DIR "/") + m + ".kqa",
                        dir + "/" + m + ".kqa");
        app = std::make_unique<CQuillo95App>();
        app->State().SetProgramDir(dir.toStdString());
        if (log) app->State().ApplyOption("-L");
        app->State().ApplyOption("-P");
        const int rect[4] = {100, 80, 700, 520};
        app->State().SetRect(rect[0], rect[1], rect[2], rect[3]);
        app->State().SetShowState(5);
        frame = std::make_unique<CMainFrame>(*app, rect);
        if (withDocument) {
            doc = std::make_unique<CQuillo95Doc>(app->State(), *frame);
            frame->AttachDocument(doc.get());
            doc->OnNewDocument();
        }
    }
    void TearDown() override {
        // The view uses the document while it goes, so the frame goes first.
        frame.reset();
        doc.reset();
        app.reset();
    }
    static void Pump(int ms = 50) { QCoreApplication::processEvents(QEventLoop::AllEvents, ms); }

    QAction* FindMenuAction(const QString& text) const {
        for (QAction* top : frame->menuBar()->actions())
            if (QMenu* menu = top->menu())
                for (QAction* a : menu->actions())
                    if (a->text() == text) return a;
        return nullptr;
    }

    static void Screenshot(QWidget* w, const char* name) {
        QDir().mkpath(QUILLON_SCREENSHOT_DIR);
        const QString path = QStringLiteral(QUILLON_SCREENSHOT_DIR "/") + name + ".png";
        const QImage image = w->grab().toImage();
        EXPECT_FALSE(image.isNull());
        EXPECT_TRUE(image.save(path)) << path.toStdString();
    }
};
