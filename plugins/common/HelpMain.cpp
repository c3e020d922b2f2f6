// Writes one module's help file from its text tables. Built once per module, with
// KQA_MODULE_NS naming the module's namespace, whose Help() gives its kqa::ModuleHelp.
#include "KQAModule.h"

namespace KQA_MODULE_NS {
const kqa::ModuleHelp& Help();
}

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const kqa::ModuleHelp& help = KQA_MODULE_NS::Help();
    return kqa::WriteHelpFile(argv[1], help.texts, help.title, help.introHtml) ? 0 : 1;
}
