// File, "Copy to Team Database...": the local database's records to choose from (several
// at once), Select All, OK and Cancel. The copying is the document's.
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "document/Document.h"

class QTreeWidget;

class CTeamCopyDlg : public QDialog {
    Q_OBJECT

public:
    CTeamCopyDlg(const std::vector<CQuillo95Doc::LocalRecord>& records, const std::string& teamName,
                 QWidget* parent = nullptr);

    QTreeWidget* List() const { return m_list; }
    // The identifiers of the rows selected, in the local database's order.
    std::vector<std::string> Chosen() const;

private:
    QTreeWidget* m_list = nullptr;
};
