// What adding one record read from an exchange file did to the database.
#pragma once

#include <string>

struct CRecordImport {
    enum class Outcome {
        Added,       // at the end of the directory, or in the place of a dangling entry
        Duplicate,   // the database holds a record of that identity (ASCII case ignored)
        Unstorable,  // no stream can be named by the identity, or the record names none
        Refused,     // the database would not take it (it logged why)
        Failed,      // the file could not be read: whether the record is stored is unknown
        NoMemory,
    };
    Outcome outcome = Outcome::Failed;
    bool incomplete = false;  // Added, but memory ran out before all of it was moved in
    int key = 0;              // Added: the record's key
    std::string sysid;        // Added: the identity as the directory spells it
};
