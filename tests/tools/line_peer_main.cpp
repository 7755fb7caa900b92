// The far end of a serial line for the Windows port's contract tests under Wine:
//   velmora-line-peer LINK
// makes a pseudo-terminal, points LINK (a COM port in a Wine prefix's dosdevices) at it, prints
// the device and answers the contract tests' commands until it is killed.
#include <cstdio>

#include "support/line_peer.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-line-peer LINK\n");
        return 2;
    }
    velmora::test::LinePeer peer(argv[1]);
    if (!peer.valid()) {
        std::fprintf(stderr, "velmora-line-peer: no terminal for %s\n", argv[1]);
        return 1;
    }
    std::printf("%s\n", peer.device().c_str());
    std::fflush(stdout);
    peer.wait();
    return 0;
}
