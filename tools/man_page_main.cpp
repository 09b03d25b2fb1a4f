// Writes vexo's man page: the configured packaging/vexo.1.in with the commands and options of the
// declarations 'vexo --help' reads, for the install rules.
#include <fstream>
#include <iostream>
#include <sstream>

#include "command_line.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: vexo_man TEMPLATE OUTPUT\n";
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::ostringstream page;
    page << in.rdbuf();
    if (page.str().find(vexo::tools::kManPageCommands) == std::string::npos) {
        std::cerr << "vexo_man: " << argv[1] << " lacks the line '" << vexo::tools::kManPageCommands << "'\n";
        return 1;
    }
    std::ofstream out(argv[2], std::ios::binary | std::ios::trunc);
    out << vexo::tools::man_page(page.str());
    out.close();
    if (!in || !out) {
        std::cerr << "vexo_man: cannot read " << argv[1] << " or write " << argv[2] << "\n";
        return 1;
    }
    return 0;
}
