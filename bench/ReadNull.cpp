// kestrune-read-null FILE.wav: reads a WAV file through the pipeline into the
// null output, so the cost of the chain itself can be set beside a peer's.

#include "formats/TWaveIn.h"
#include "pipeline/TNULLOut.h"

#include <chrono>
#include <cstdio>
#include <exception>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: kestrune-read-null FILE.wav\n");
        return 2;
    }
    using namespace kestrune;
    TWaveIn in;
    in.SetFileName(argv[1]);
    TNULLOut out;
    out.SetInput(&in);
    std::string failure;
    out.OnThreadException = [&](TComponent*, const std::exception& E) { failure = E.what(); };
    out.Run();
    while (!out.WaitForIdle(std::chrono::seconds(60))) {
    }
    if (!failure.empty()) {
        std::fprintf(stderr, "kestrune-read-null: %s\n", failure.c_str());
        return 1;
    }
    return 0;
}
