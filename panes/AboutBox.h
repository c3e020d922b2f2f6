// Help, "About Quillon 97...": the product picture and texts, and the loaded analyzers.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

class QLabel;
class QPlainTextEdit;
class QPushButton;

class CAboutDlg : public QDialog {
    Q_OBJECT

public:
    enum {
        IDD = 101,
        IDC_PICTURE = 1014,
        IDC_PUBLISHER = 1015,
        IDC_TITLE = 1016,
        IDC_NOTICE1 = 1017,
        IDC_NOTICE2 = 1018,
        IDC_ANALYZERS_LABEL = 1019,
        IDC_ANALYZERS = 1020,
        IDC_VERSION = 1022,
    };

    CAboutDlg(const std::vector<std::string>& analyzerLines, QWidget* parent = nullptr);

    QWidget* Control(int id) const;
    QPlainTextEdit* AnalyzerList() const { return m_list; }
    // The edit box's height in the dialog resource, before the list sizes it.
    static int ResourceListHeight();

private:
    void OnInitDialog(const std::vector<std::string>& analyzerLines);

    QWidget* m_picture = nullptr;
    QLabel* m_publisher = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_version = nullptr;
    QPushButton* m_ok = nullptr;
    QLabel* m_notice1 = nullptr;
    QLabel* m_notice2 = nullptr;
    QLabel* m_analyzersLabel = nullptr;
    QPlainTextEdit* m_list = nullptr;
};
