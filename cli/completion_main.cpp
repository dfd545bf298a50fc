// Writes tunedesk-cli's bash completion script into the file named by its
// argument; the build runs it, and the installation ships what it wrote.
#include <cstdio>
#include <memory>

#include "Cli.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: tunedesk-cli-completion FILE\n", stderr);
        return 2;
    }
    const std::string script = cli::BashCompletion();
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> out(std::fopen(argv[1], "w"), std::fclose);
    if (!out || std::fwrite(script.data(), 1, script.size(), out.get()) != script.size() ||
        std::fclose(out.release()) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
