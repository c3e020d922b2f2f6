#include "database/Archive.h"

void CArchiveWriter::WriteU16(uint16_t v) {
    WriteU8(static_cast<uint8_t>(v));
    WriteU8(static_cast<uint8_t>(v >> 8));
}

void CArchiveWriter::WriteU32(uint32_t v) {
    WriteU16(static_cast<uint16_t>(v));
    WriteU16(static_cast<uint16_t>(v >> 16));
}

void CArchiveWriter::WriteString(const std::string& s) {
    const size_t n = s.size();
    if (n < 255) {
        WriteU8(static_cast<uint8_t>(n));
    } else if (n < 0xFFFE) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(n));
    }
    m_out.append(s);
}

void CArchiveWriter::WriteCount(uint32_t n) {
    if (n < 0xFFFF) {
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU16(0xFFFF);
        WriteU32(n);
    }
}

bool CArchiveReader::ReadU8(uint8_t& v) {
    if (Remaining() < 1) return false;
    v = static_cast<uint8_t>(m_data[m_pos++]);
    return true;
}

bool CArchiveReader::ReadU16(uint16_t& v) {
    if (Remaining() < 2) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(m_data + m_pos);
    v = static_cast<uint16_t>(p[0] | (p[1] << 8));
    m_pos += 2;
    return true;
}

bool CArchiveReader::ReadU32(uint32_t& v) {
    if (Remaining() < 4) return false;
    const auto* p = reinterpret_cast<const unsigned char*>(m_data + m_pos);
    v = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
        static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
    m_pos += 4;
    return true;
}

bool CArchiveReader::ReadI32(int32_t& v) {
    uint32_t u = 0;
    if (!ReadU32(u)) return false;
    v = static_cast<int32_t>(u);
    return true;
}

bool CArchiveReader::ReadString(std::string& s) {
    uint8_t b = 0;
    if (!ReadU8(b)) return false;
    uint32_t n = b;
    if (b == 0xFF) {
        uint16_t w = 0;
        if (!ReadU16(w)) return false;
        n = w;
        if (w == 0xFFFF && !ReadU32(n)) return false;
    }
    if (n > Remaining()) return false;
    s.assign(m_data + m_pos, n);
    m_pos += n;
    return true;
}

bool CArchiveReader::ReadCount(uint32_t& n) {
    uint16_t w = 0;
    if (!ReadU16(w)) return false;
    n = w;
    if (w == 0xFFFF) return ReadU32(n);
    return true;
}
