// A view over a real database file of stored systems, written before start-up.
#pragma once

#include "tests/view/ViewFixture.h"

class DatabaseViewTest : public ViewTest {
protected:
    struct Stored {
        std::string sysid, name, speed;
    };
    // Writes the file the view opens: the running system's record first (when mirror is
    // not empty), then the stored ones; every record has two highlights, "Name" (text) and
    // "Speed" (numeric).
    void WriteDatabase(const std::string& mirror, const std::vector<Stored>& records) {
        CAppState app2;
        FakeFrame frame2;
        CQuillo95Doc other(app2, frame2);
        auto fill = [](CKQTreeEntry* e, const Stored& s) {
            e->SetAttr("SysName", s.sysid, 0, 0);
            e->SetAttr("Name", s.name, 0, 4);
            e->SetAttr("Speed", s.speed, 0, 4 | 1);
            static_cast<CRecordEntry*>(e)->SetChanged();
        };
        if (!mirror.empty())
            fill(other.Database().AddCurrentSystemRecord("System", mirror), {mirror, "This", "50"});
        for (const Stored& s : records) {
            CKQTreeEntry* e = other.Database().NewRecord("System");
            fill(e, s);
            other.Database().AddImportedRecord(static_cast<CRecordEntry*>(e), s.sysid);
        }
        ASSERT_TRUE(other.OnSaveDocument(app.DatabasePath()));
        ASSERT_TRUE(doc->OnOpenDocument(app.DatabasePath()));
    }
    // Start-up, then the idle steps that list the records.
    void StartAndList() {
        StartUp();
        doc->FinishIdleWork();
        QApplication::processEvents();
    }
    CDatabaseList* List() { return view->m_databasePane.List(); }
    int Key(const std::string& sysid) { return doc->KeyForSysid(sysid); }
    std::vector<std::string> Column(int column) {
        std::vector<std::string> texts;
        for (int r = 0; r < List()->RowCount(); ++r)
            texts.push_back(List()->GetCellText(r, column));
        return texts;
    }
    int ColumnOf(const std::string& caption) {
        for (int c = 0; c < List()->ColumnCount(); ++c)
            if (List()->HeaderText(c).toStdString() == caption) return c;
        return -1;
    }
};
