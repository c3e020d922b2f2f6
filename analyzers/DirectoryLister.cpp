#include <dirent.h>
#include <fnmatch.h>

#include "analyzers/Analyzer.h"

namespace {

// Names in the order the file system returns them: never sorted, since the load order of
// analyzers with equal identifiers depends on it.
class CDirectoryLister : public IDirectoryLister {
public:
    std::vector<std::string> List(const std::string& directory,
                                  const std::string& pattern) override {
        std::vector<std::string> names;
        DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
        if (dir == nullptr) return names;
        while (dirent* d = readdir(dir)) {
            std::string name = d->d_name;
            if (name == "." || name == "..") continue;
            if (fnmatch(pattern.c_str(), name.c_str(), 0) == 0) names.push_back(name);
        }
        closedir(dir);
        return names;
    }
};

}  // namespace

IDirectoryLister& DefaultDirectoryLister() {
    static CDirectoryLister lister;
    return lister;
}
