// Validates a JSON file against the shipped results schema with Debian's python3-jsonschema
// (Debian's own /usr/bin/python3: another Python's copy must not hide a missing package), a
// validator that is not the program's own code. A missing validator is a failure, never a
// skip: scripts/deps.sh installs it.
#pragma once

#include <cstdio>
#include <string>

// "valid" when the file is strict UTF-8 JSON that the schema accepts; else what went wrong.
inline std::string ValidateResultsJson(const std::string& jsonPath) {
    const std::string schema = QUILLON_SOURCE_DIR "/packaging/quillon-results.schema.json";
    const std::string command =
        "/usr/bin/python3 -c 'import json, sys, jsonschema\n"
        "schema = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
        "data = json.load(open(sys.argv[2], encoding=\"utf-8\", errors=\"strict\"))\n"
        "jsonschema.Draft202012Validator(schema).validate(data)\n"
        "print(\"valid\", end=\"\")' '" +
        schema + "' '" + jsonPath + "' 2>&1";
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
        const int status = ::pclose(p);
        if (status != 0 && out == "valid") out = "validator failed";
    } else {
        out = "/usr/bin/python3 could not be started";
    }
    return out;
}
