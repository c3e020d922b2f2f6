// Results as JSON for scripts: format "quillon-results", version 1 (the schema ships as
// packaging/quillon-results.schema.json). One record per line between a head and a tail,
// so that an export of many records never holds more than one in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "tree/KQTree.h"

// What the writer cannot read from the tree itself.
class IJsonTextSource {
public:
    virtual ~IJsonTextSource() = default;
    // The analyzer whose branch entry is (a record, or an entry named as an analyzer), 0 for
    // none.
    virtual uint16_t AnalyzerOf(const CKQTreeEntry& entry) = 0;
    virtual std::string AnalyzerName(uint16_t kqaid) = 0;
    // The tip's text as its analyzer gives it; empty when that analyzer is not loaded.
    virtual std::string TipText(uint16_t kqaid, const CTip& tip) = 0;
    // The record's description (what the Database list shows beside the identifier).
    virtual std::string Description(const CKQTreeEntry& record) = 0;
};

class CJsonResultsWriter {
public:
    static constexpr const char* kFormat = "quillon-results";
    static constexpr int kVersion = 1;

    explicit CJsonResultsWriter(IJsonTextSource& texts) : m_texts(texts) {}

    // The text up to the first record; program names the writer and its version.
    std::string Head(const std::string& program);
    // One record (its entry with the subtree), appended to out; current marks the running
    // machine's results.
    void Record(const CKQTreeEntry& record, bool current, std::string& out);
    std::string Tail();

    // Bytes that were not valid UTF-8 and went out as U+FFFD, over everything written.
    size_t ReplacedBytes() const { return m_replaced; }

    // Bytes of text that are not part of a well-formed UTF-8 sequence (overlong forms,
    // surrogates and values past U+10FFFF included).
    static size_t InvalidUtf8Bytes(std::string_view text);
    // A figure's value: the leading number and what follows it, trimmed; false when the
    // value does not begin with a finite number.
    static bool SplitFigure(const std::string& value, double& number, std::string& unit);

private:
    IJsonTextSource& m_texts;
    size_t m_records = 0;
    size_t m_replaced = 0;
};
