// velmora-cli: the converter from a terminal, with no display needed.

#include "cli/CliMain.h"

int main(int argc, char** argv)
{
    return RunCommandLine(argc, argv);
}
