// Writes a full KVUI_Config.dat (20 categories of 50 links) into the current folder, or into
// the folder given as the only argument. The links start /bin/true, so clicking one is harmless.

#include <cstdio>
#include <filesystem>

#include "FullConfig.h"
#include "Kvguiglobals.h"

int main(int argc, char **argv)
{
    if (argc > 2) {
        std::fprintf(stderr, "usage: %s [folder]\n", argv[0]);
        return 2;
    }
    auto op = std::make_unique<KVUIOperationClass>();
    if (argc == 2)
        op->directory = std::filesystem::absolute(argv[1]).string();
    bench::FillFullConfiguration(*op, "/bin/true", false);
    if (!op->SaveConfiguration()) {
        std::perror(op->GetConfigPath().c_str());
        return 1;
    }
    std::printf("%s\n", op->GetConfigPath().c_str());
    return 0;
}
