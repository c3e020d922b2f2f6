// The bytes of a record stream and of the directory stream, as the database file holds them.
#pragma once

#include <string>
#include <vector>

class CKQTreeEntry;

// The longest identifier a record stream can be named by, in bytes.
constexpr int kMaxRecordNameLength = 31;

// Serialised entry format of record streams. Serialising cannot fail for a tree in memory;
// decoding answers false for bytes that are not a whole entry (entry is then unspecified).
bool SerializeRecord(const CKQTreeEntry& entry, std::string& out);
bool DeserializeRecord(const std::string& data, CKQTreeEntry& entry);
// The directory stream; decoding answers false for bytes that are not a whole directory.
bool SerializeDirectory(const std::vector<std::string>& directory, std::string& out);
bool DeserializeDirectory(const std::string& data, std::vector<std::string>& directory);
