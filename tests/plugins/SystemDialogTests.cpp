// The System module's properties: the dialog's buttons, and the answer where nothing can be shown.
#include <QApplication>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>

#include "plugins/System/SystemDialog.h"
#include "tests/plugins/PluginFixture.h"

using namespace plugintest;

namespace {

QApplication* App() {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "plugins_tests";
    static char* argv[] = {name, nullptr};
    static QApplication* qapp = new QApplication(argc, argv);
    return qapp;
}

CKQTreeEntry* Record(CKQTreeEntry& record, const char* description) {
    record.SetAttr("System ID", "Lrecord", 0, 0);
    record.SetAttr("Description", description, 0, 0);
    return &record;
}

// Runs the dialog as the module does, pressing a button once it shows.
KQARC Press(CKQTreeEntry* entry, QDialogButtonBox::StandardButton button,
            const char* typed = nullptr) {
    CSystemPropertiesDialog dialog(nullptr, entry->GetAttrValue("Description"),
                                   entry->GetAttrValue("System ID"));
    QTimer::singleShot(0, &dialog, [&] {
        if (typed) dialog.DescriptionEdit()->setText(QString::fromUtf8(typed));
        QPushButton* b = dialog.Buttons()->button(button);
        if (b->isEnabled())
            b->click();
        else
            dialog.reject();  // as the user gives up
    });
    const int result = dialog.exec();
    return ApplySystemDescription(dialog, result, entry);
}

}  // namespace

TEST(SystemDialog, OkConfirmsWhetherOrNotTheDescriptionChanged) {
    App();
    CKQTreeEntry record("System");
    EXPECT_EQ(Press(Record(record, "Old box"), QDialogButtonBox::Ok), KQARC_OK);
    EXPECT_EQ(record.GetAttrValue("Description"), "Old box");
    EXPECT_EQ(Press(&record, QDialogButtonBox::Ok, "  Office tower  "), KQARC_OK);
    EXPECT_EQ(record.GetAttrValue("Description"), "Office tower");
    // A new description still names the record in the database list and the Summary.
    EXPECT_EQ(record.GetAttr(record.FindAttr("Description"))->m_data & 4u, 4u);
}

TEST(SystemDialog, CancelAndAnEmptyDescriptionChangeNothing) {
    App();
    CKQTreeEntry record("System");
    EXPECT_EQ(Press(Record(record, "Old box"), QDialogButtonBox::Cancel, "New name"),
              KQARC_CANCELLED);
    EXPECT_EQ(record.GetAttrValue("Description"), "Old box");

    CSystemPropertiesDialog dialog(nullptr, "Old box", "Lrecord");
    QPushButton* ok = dialog.Buttons()->button(QDialogButtonBox::Ok);
    EXPECT_TRUE(ok->isEnabled());
    dialog.DescriptionEdit()->setText("   ");
    EXPECT_FALSE(ok->isEnabled());
    // For a look at the dialog as the user sees it with OK refused.
    dialog.grab().save(QStringLiteral(KQA_SCREENSHOT_DIR "/system-properties-empty.png"));
    EXPECT_EQ(Press(&record, QDialogButtonBox::Ok, ""), KQARC_CANCELLED);
    EXPECT_EQ(record.GetAttrValue("Description"), "Old box");
}

TEST_F(ModuleTest, SystemPropertiesWithoutADisplayKeepTheDescriptionAndConfirm) {
    App();
    ASSERT_EQ(QGuiApplication::platformName(), QStringLiteral("offscreen"));
    UseMachine("desktop");
    Load({"System"});
    CAnalyzer* a = doc->Analyzers().FindByID(10);
    ASSERT_NE(a, nullptr);
    CKQTreeEntry record("System");
    EXPECT_TRUE(a->DoPropertiesUI(Record(record, "Kept as it is")));
    EXPECT_EQ(a->m_lastRC, KQARC_OK);
    EXPECT_EQ(record.GetAttrValue("Description"), "Kept as it is");
    // The current system's own properties: what Save Current Results asks first.
    EXPECT_TRUE(doc->AnalyzerProperties(10));
    EXPECT_EQ(Value(10, "", "Description"), "Dell Inc. OptiPlex 7050");
}
