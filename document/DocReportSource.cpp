#include "document/DocReportSource.h"

#include "document/Document.h"

namespace {

// A cached record is read where it is; only a stored one is loaded, once, into a copy.
class CDocReportSystem : public IReportSystem {
public:
    CDocReportSystem(CQuillo95Doc& doc, std::string sysid, const CKQTreeEntry* cached)
        : m_doc(doc), m_sysid(std::move(sysid)), m_entry(cached) {}
    CDocReportSystem(CQuillo95Doc& doc, std::string sysid, std::unique_ptr<CRecordEntry> loaded)
        : m_doc(doc),
          m_sysid(std::move(sysid)),
          m_entry(loaded.get()),
          m_loaded(std::move(loaded)) {}
    bool Lookup(const std::string& itemText, std::string& value) override {
        value.clear();
        return m_doc.EntryLookup(m_entry, itemText, value);
    }
    bool TipPriority(const std::string& itemText, int32_t& priority) override {
        return m_doc.StoredTipPriority(*m_entry, itemText, priority);
    }
    std::string Identifier() const override { return m_sysid; }

private:
    CQuillo95Doc& m_doc;
    std::string m_sysid;
    const CKQTreeEntry* m_entry;
    std::unique_ptr<CRecordEntry> m_loaded;
};

}  // namespace

std::unique_ptr<IReportSystem> CDocReportSource::OpenSystem(int key) {
    const std::string sysid = m_doc.ResolveRecordKey(key);
    if (sysid.empty()) return nullptr;
    CRecordEntry* cached = m_doc.Database().LoadedRecord(sysid);
    if (cached && !cached->IsDeleted())
        return std::make_unique<CDocReportSystem>(m_doc, sysid, cached);
    auto record = std::make_unique<CRecordEntry>();
    if (!m_doc.LoadSystemTree(sysid, *record)) return nullptr;
    return std::make_unique<CDocReportSystem>(m_doc, sysid, std::move(record));
}

std::string CDocReportSource::FallbackAttributeID() { return m_doc.FallbackAttributeID(); }

bool CDocReportSource::SearchItem(const std::string& text, CDetailItem& item) {
    return m_doc.SearchItem(text, item);
}

bool CDocReportSource::TipText(const std::string& itemText, std::string& text) {
    return m_doc.TipReferenceText(itemText, text);
}

std::vector<CHistoryColumn> CDocReportSource::HistoryColumns() { return m_doc.HistoryColumns(); }
