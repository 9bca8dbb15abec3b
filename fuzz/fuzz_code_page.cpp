// The signal line's way into the file's 8-bit code page: the input bytes are the line.
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const kestrane::fuzz::ScratchFolder folder;
    const std::string_view line{reinterpret_cast<const char*>(data), size};
    kestrane::fuzz::appendAndCheck(folder.path() / "Entries.txt", line);
    return 0;
}
