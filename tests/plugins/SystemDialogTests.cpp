// The System module's properties dialog where Qt runs but nothing can be shown.
#include <QApplication>

#include "tests/plugins/PluginFixture.h"

using namespace plugintest;

TEST_F(ModuleTest, SystemPropertiesOnTheOffscreenPlatformChangeNothing) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "plugins_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* qapp = new QApplication(argc, argv);
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    (void)qapp;
    UseMachine("desktop");
    Load({"System"});
    CAnalyzer* a = doc->m_analyzers.FindByID(10);
    ASSERT_NE(a, nullptr);
    CKQTreeEntry record("System");
    record.SetAttr("System ID", "Lrecord", 0, 0);
    record.SetAttr("Description", "Kept as it is", 0, 0);
    EXPECT_FALSE(a->DoPropertiesUI(&record));
    EXPECT_EQ(a->m_lastRC, KQARC_NODISPLAY);
    EXPECT_EQ(record.GetAttrValue("Description"), "Kept as it is");
    EXPECT_FALSE(doc->AnalyzerProperties(10));
    EXPECT_EQ(Value(10, "", "Description"), "Dell Inc. OptiPlex 7050");
}
