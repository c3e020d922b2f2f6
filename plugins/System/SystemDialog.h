// The System module's properties dialog: edits the description that names a system.
#pragma once

#include <QDialog>

#include "SystemInfo.h"

class QDialogButtonBox;
class QLineEdit;

class CSystemPropertiesDialog : public QDialog {
public:
    CSystemPropertiesDialog(QWidget* parent, const std::string& description,
                            const std::string& sysid);
    QLineEdit* DescriptionEdit() const { return m_edit; }
    QDialogButtonBox* Buttons() const { return m_buttons; }
    // The description as entered, without surrounding blanks.
    std::string Description() const;

private:
    QLineEdit* m_edit;
    QDialogButtonBox* m_buttons;
};

// Shows the dialog for entry when there is a display. OK answers KQARC_OK whether or not the
// description changed (the user confirmed the properties); Cancel answers KQARC_CANCELLED.
// Without a display there is no one to ask: the stored description stays and the answer is
// KQARC_OK, so that saving results works unattended.
KQARC EditSystemDescription(CWnd* view, CKQTreeEntry* entry);
// The part after the dialog closed: the entry takes the description when OK was pressed.
KQARC ApplySystemDescription(const CSystemPropertiesDialog& dialog, int result,
                             CKQTreeEntry* entry);
