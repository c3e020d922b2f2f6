// The document as the source of report compilations.
#pragma once

#include "reports/ReportSource.h"

class CQuillo95Doc;

class CDocReportSource : public IReportSource {
public:
    explicit CDocReportSource(CQuillo95Doc& doc) : m_doc(doc) {}
    std::unique_ptr<IReportSystem> OpenSystem(int key) override;
    std::string FallbackAttributeID() override;
    bool SearchItem(const std::string& text, CDetailItem& item) override;
    bool TipText(const std::string& itemText, std::string& text) override;
    std::vector<CHistoryColumn> HistoryColumns() override;

private:
    CQuillo95Doc& m_doc;
};
