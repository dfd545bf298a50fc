// tunedesk-cli: the picture settings, registers, EDID and profiles of the
// chip from the command line.
#include "Cli.h"

int main(int argc, char** argv) { return cli::Main(argc, argv); }
