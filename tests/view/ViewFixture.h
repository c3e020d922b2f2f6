// A document with a scratch program directory, the recording frame, a recording host and
// the main view inside a main window, as the program builds them.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QSettings>
#include <QTemporaryDir>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "document/Document.h"
#include "app/Quillo95View.h"
#include "resources/Strings.h"
#include "tests/support/FakeFrame.h"
#include "tests/support/FakeView.h"

class FakeHost : public IViewHost {
public:
    void RemoveCover() override { ++coversRemoved; }
    void AutoRunFinished(bool written) override { autoRun.push_back(written); }
    void DefaultHelp() override { ++defaultHelp; }
    void HelpIndex() override { ++helpIndex; }
    void ShowAnalyzerHelp(const std::string& name, int context) override {
        help.push_back({name, context});
    }
    void OpenPage(const std::string& page) override { pages.push_back(page); }
    struct Help {
        std::string name;
        int context;
        bool operator==(const Help&) const = default;
    };
    int coversRemoved = 0, defaultHelp = 0, helpIndex = 0;
    std::vector<bool> autoRun;
    std::vector<Help> help;
    std::vector<std::string> pages;
};

inline QSettings ViewSettings() {
    return QSettings(QString::fromStdString(LoadKQString(IDS_REG_COMPANY)),
                     QString::fromStdString(LoadKQString(IDS_APP_TITLE)));
}

class ViewTest : public ::testing::Test {
protected:
    // The test modules copied into the program directory before start-up.
    virtual std::vector<std::string> Modules() const { return {}; }

    void SetUp() override {
        ASSERT_TRUE(dir.isValid());
        QSettings settings = ViewSettings();
        settings.clear();
        settings.sync();
        const std::string path = dir.path().toStdString();
        app.SetProgramDir(path);
        app.ApplyOption("-P");
        for (const std::string& m : Modules())
            std::filesystem::copy_file(std::string(QUILLON_TESTMODULE_DIR) + "/" + m + ".kqa",
                                       path + "/" + m + ".kqa");
        doc = std::make_unique<CQuillo95Doc>(app, frame);
        window = std::make_unique<QMainWindow>();
        view = new CQuillo95View(*doc, host, window.get());
        window->setCentralWidget(view);
        view->BuildMenus(window->menuBar());
        window->resize(800, 600);
        window->show();
        QApplication::processEvents();
    }
    void TearDown() override {
        window.reset();
        doc.reset();
    }

    // Both stages of start-up without waiting for timer 1.
    void StartUp() {
        view->OnInitialUpdate();
        view->OnTimer(1);
    }
    // Destroys the window (and the view with it), as closing the program does.
    void CloseView() {
        window.reset();
        view = nullptr;
    }

    QTemporaryDir dir;
    CAppState app;
    FakeFrame frame;
    FakeHost host;
    std::unique_ptr<CQuillo95Doc> doc;
    std::unique_ptr<QMainWindow> window;
    CQuillo95View* view = nullptr;
};
