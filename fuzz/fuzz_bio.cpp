// Fuzz target for the biological file reader: the input is written as
// "bio.inn" in a private working directory (which also holds a valid
// "srspec") and read into a fresh model state. A stop with a message and a
// record-reading failure are the orderly ends of a run with bad input;
// anything else (a crash, a sanitizer report, another exception) is a fault.
#include <cstddef>
#include <cstdint>

#include "fuzz_common.hpp"
#include "io/input.hpp"

using namespace tacsim;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzzsupport::enter_scratch_dir();
    fuzzsupport::write_file("srspec", fuzzsupport::golden("rules/srspec"));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzzsupport::write_file("bio.inn", reinterpret_cast<const char*>(data), size);
    static fuzzsupport::FreshState fresh;
    State& s = fresh.make();
    try {
        getpopinn(s);
    } catch (const StopRun&) {
    } catch (const RecordError&) {
    }
    return 0;
}
