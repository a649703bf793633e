// vistrel-dvr: the DVR emulator as a program.

#include <cstdio>

#include "tools/dvr/DvrServer.h"

int main() {
    std::fputs("vistrel-dvr: not ready yet\n", stderr);
    return 1;
}
