// kestrune-write-image OUT.cue FILE...: writes the files as a CD image, so the
// cost of turning a queue into CD audio can be set beside a peer's decoding of
// the same files.

#include "burn/TImageWriter.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: kestrune-write-image OUT.cue FILE...\n");
        return 2;
    }
    using namespace kestrune;
    std::vector<TImageTrack> queue;
    for (int i = 2; i < argc; ++i)
        queue.push_back({argv[i], "", "", ""});
    try {
        TImageWriter writer(argv[1]);
        writer.SetReplace(true);
        writer.Write(queue);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "kestrune-write-image: %s\n", e.what());
        return 1;
    }
    return 0;
}
