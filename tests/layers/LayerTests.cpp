// The folder plan, read from the sources: each folder includes only folders below it, the core
// includes no Qt, the modules see only the plug-in header and the tree, and no two classes
// (a header with its source) include each other, directly or round a longer loop.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Bottom first; a folder may include its own floor and those before it.
const std::vector<std::string> kFloors = {"resources", "tree",   "analyzers", "storage",
                                          "database",  "server", "reports",   "document",
                                          "platform",  "graph",  "panes",     "app"};
const std::set<std::string> kCore = {"resources", "tree",   "analyzers", "storage",
                                     "database",  "server", "reports",   "document"};
// Build tools kept beside the data they draw: not part of their folder's library.
const std::vector<std::string> kTools = {"resources/icons/"};
// What a module may include from the program's folders.
const std::set<std::string> kModuleHeaders = {"tree/KQTree.h", "tree/KQUtilExport.h",
                                              "analyzers/KQAnalyzer.h"};

struct Include {
    std::string file;  // relative to the source root
    int line = 0;
    std::string target;  // as written: "folder/Name.h", "Name.h" or <QWidget>
    bool angled = false;
};

int FloorOf(const std::string& folder) {
    auto it = std::find(kFloors.begin(), kFloors.end(), folder);
    return it == kFloors.end() ? -1 : int(it - kFloors.begin());
}

std::string TopFolder(const std::string& path) { return path.substr(0, path.find('/')); }

// "app/MainFrame.cpp" and "app/MainFrame.h" are one class.
std::string Unit(const std::string& path) {
    const size_t dot = path.rfind('.');
    return dot == std::string::npos ? path : path.substr(0, dot);
}

std::vector<Include> ReadIncludes(const std::vector<std::string>& roots) {
    static const std::regex kInclude(R"(^\s*#\s*include\s*([<"])([^>"]+)[>"])");
    const fs::path source(QUILLON_SOURCE_DIR);
    std::vector<Include> all;
    for (const std::string& root : roots) {
        if (!fs::is_directory(source / root)) continue;
        for (const auto& e : fs::recursive_directory_iterator(source / root)) {
            const std::string ext = e.path().extension().string();
            if (!e.is_regular_file() || (ext != ".h" && ext != ".cpp" && ext != ".inc")) continue;
            const std::string rel = fs::relative(e.path(), source).generic_string();
            std::ifstream in(e.path());
            std::string text;
            int n = 0;
            while (std::getline(in, text)) {
                ++n;
                std::smatch m;
                if (std::regex_search(text, m, kInclude))
                    all.push_back({rel, n, m[2].str(), m[1].str() == "<"});
            }
        }
    }
    EXPECT_GT(all.size(), 100u) << "no sources under " << QUILLON_SOURCE_DIR;
    return all;
}

std::string Where(const Include& i) {
    return i.file + ":" + std::to_string(i.line) + " includes " + i.target;
}

}  // namespace

TEST(Layers, IncludesPointDownAndTheCoreUsesNoQt) {
    std::vector<std::string> faults;
    for (const Include& i : ReadIncludes(kFloors)) {
        const std::string from = TopFolder(i.file);
        const bool tool = std::any_of(kTools.begin(), kTools.end(), [&](const std::string& t) {
            return i.file.compare(0, t.size(), t) == 0;
        });
        if (tool) continue;
        if (i.angled) {
            if (kCore.count(from) && i.target.size() > 1 && i.target[0] == 'Q' &&
                std::isupper(static_cast<unsigned char>(i.target[1])))
                faults.push_back(Where(i) + ": the core uses no Qt");
            continue;
        }
        if (i.target.find('/') == std::string::npos) continue;  // beside the file itself
        const int to = FloorOf(TopFolder(i.target));
        if (to < 0)
            faults.push_back(Where(i) + ": not a folder of the program");
        else if (to > FloorOf(from))
            faults.push_back(Where(i) + ": " + TopFolder(i.target) + " lies above " + from);
    }
    for (const std::string& f : faults) ADD_FAILURE() << f;
}

TEST(Layers, ModulesSeeOnlyThePluginHeaderAndTheTree) {
    for (const Include& i : ReadIncludes({"plugins"})) {
        if (i.angled || i.target.find('/') == std::string::npos) continue;
        if (TopFolder(i.target) == "plugins" || kModuleHeaders.count(i.target)) continue;
        ADD_FAILURE() << Where(i) << ": a module sees only "
                      << "analyzers/KQAnalyzer.h and the tree";
    }
}

TEST(Layers, NoClassesIncludeEachOther) {
    std::map<std::string, std::set<std::string>> edges;  // unit -> units it includes
    std::map<std::pair<std::string, std::string>, std::string> where;
    for (const Include& i : ReadIncludes(kFloors)) {
        if (i.angled || i.target.find('/') == std::string::npos) continue;
        const std::string from = Unit(i.file), to = Unit(i.target);
        if (from == to) continue;
        edges[from].insert(to);
        where.emplace(std::make_pair(from, to), Where(i));
    }
    // Depth-first search; a unit met again while still on the path closes a loop.
    std::map<std::string, int> state;  // 1 on the path, 2 done
    std::vector<std::string> path;
    std::vector<std::string> loops;
    std::function<void(const std::string&)> visit = [&](const std::string& u) {
        state[u] = 1;
        path.push_back(u);
        for (const std::string& v : edges[u]) {
            if (state[v] == 1) {
                std::string loop;
                auto it = std::find(path.begin(), path.end(), v);
                for (auto p = it; p != path.end(); ++p) {
                    const std::string& next = (p + 1 == path.end()) ? v : *(p + 1);
                    loop += "\n  " + where[{*p, next}];
                }
                loops.push_back(loop);
            } else if (state[v] == 0) {
                visit(v);
            }
        }
        path.pop_back();
        state[u] = 2;
    };
    for (const auto& [u, targets] : edges)
        if (state[u] == 0) visit(u);
    for (const std::string& l : loops) ADD_FAILURE() << "classes include each other:" << l;
}
