// The zip command alone, for the side-by-side script (run.sh): `qzip_bench_cli zip ...`.
#include <iostream>
#include <string>
#include <vector>

#include "zipcomp/zip_command.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty() || args[0] != "zip") {
        std::cerr << "usage: qzip_bench_cli zip FOLDER ARCHIVE [--level N] [--password P] [--move]\n";
        return 2;
    }
    args.erase(args.begin());
    return zipcomp::runZipCommand(args, std::cout, std::cerr);
}
