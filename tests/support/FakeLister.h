// Fixes the order in which the "file system" returns the modules, and records what was asked.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "analyzers/Analyzer.h"

class FakeLister : public IDirectoryLister {
public:
    explicit FakeLister(std::vector<std::string> names) : m_names(std::move(names)) {}
    std::vector<std::string> List(const std::string& directory,
                                  const std::string& pattern) override {
        askedDirectory = directory;
        askedPattern = pattern;
        return m_names;
    }
    std::string askedDirectory, askedPattern;

private:
    std::vector<std::string> m_names;
};
