#include "document/DocReportSource.h"

#include "document/Document.h"

namespace {

// A cached record is read where it is; only a stored one is loaded, once, into a copy.
class CDocReportSystem : public IReportSystem {
public:
    CDocReportSystem(CQuillo95Doc& doc, const CKQTreeEntry* cached) : m_doc(doc), m_entry(cached) {}
    CDocReportSystem(CQuillo95Doc& doc, std::unique_ptr<CRecordEntry> loaded)
        : m_doc(doc), m_entry(loaded.get()), m_loaded(std::move(loaded)) {}
    bool Lookup(const std::string& itemText, std::string& value) override {
        value.clear();
        return m_doc.EntryLookup(m_entry, itemText, value);
    }

private:
    CQuillo95Doc& m_doc;
    const CKQTreeEntry* m_entry;
    std::unique_ptr<CRecordEntry> m_loaded;
};

}  // namespace

std::unique_ptr<IReportSystem> CDocReportSource::OpenSystem(int key) {
    const std::string sysid = m_doc.ResolveRecordKey(key);
    if (sysid.empty()) return nullptr;
    auto it = m_doc.m_db.m_loaded.find(sysid);
    if (it != m_doc.m_db.m_loaded.end() && it->second && !it->second->m_deleted)
        return std::make_unique<CDocReportSystem>(m_doc, it->second);
    auto record = std::make_unique<CRecordEntry>();
    if (!m_doc.LoadSystemTree(sysid, *record)) return nullptr;
    return std::make_unique<CDocReportSystem>(m_doc, std::move(record));
}

std::string CDocReportSource::FallbackAttributeID() { return m_doc.FallbackAttributeID(); }

bool CDocReportSource::SearchItem(const std::string& text, CDetailItem& item) {
    return m_doc.SearchItem(text, item);
}
