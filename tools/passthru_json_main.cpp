// Prints the ~/.passthru file that names the library at argv[1], for the install rules: the system
// copy they install is the file 'vexo register' writes.
#include <cstdio>

#include "passthru_json.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vexo_passthru_json FUNCTION_LIB\n", stderr);
        return 2;
    }
    std::fputs(vexo::tools::passthru_json(argv[1]).c_str(), stdout);
    return 0;
}
