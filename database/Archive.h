// Binary archive of the database streams: little-endian integers, counted strings and
// array element counts as the old framework wrote them. Reading is bounds-checked: a count
// or length that runs past the end is a failed read, never an allocation of that size.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Appends to a string the caller owns and keeps alive; writing cannot fail.
class CArchiveWriter {
public:
    explicit CArchiveWriter(std::string& out) : m_out(out) {}

    void WriteU8(uint8_t v) { m_out.push_back(static_cast<char>(v)); }
    void WriteU16(uint16_t v);
    void WriteU32(uint32_t v);
    void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
    // One length byte below 255; else 255 and 16 bits below 65534; else 255, 0xFFFF, 32 bits.
    void WriteString(const std::string& s);
    // Array element count: 16 bits below 0xFFFF, else 0xFFFF and 32 bits.
    void WriteCount(uint32_t n);

private:
    std::string& m_out;
};

// Reads from bytes the caller owns and keeps alive while reading. Every Read answers false
// when what it reads runs past the end (the value is then unspecified, the position stays
// usable for nothing more); none throws or allocates more than the bytes can hold.
class CArchiveReader {
public:
    CArchiveReader(const char* data, size_t size) : m_data(data), m_size(size) {}
    explicit CArchiveReader(const std::string& s) : CArchiveReader(s.data(), s.size()) {}

    bool ReadU8(uint8_t& v);
    bool ReadU16(uint16_t& v);
    bool ReadU32(uint32_t& v);
    bool ReadI32(int32_t& v);
    bool ReadString(std::string& s);
    bool ReadCount(uint32_t& n);

    size_t Remaining() const { return m_size - m_pos; }
    // True when n items of at least itemSize bytes each can still follow.
    bool CanHold(uint64_t n, size_t itemSize) const { return n * itemSize <= Remaining(); }

private:
    const char* m_data;
    size_t m_size;
    size_t m_pos = 0;
};
