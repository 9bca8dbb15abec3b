// The append guard: what appendSignalLine refuses before and while opening the file. The path
// is one fuzzed name, relative to a scratch folder made the working folder for the append, so
// an append can create nothing outside it; '/' in the input becomes '_' to keep it there.
#include "fuzz_support.h"

#include <cstddef>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <fuzzer/FuzzedDataProvider.h>
#include <regex>
#include <unistd.h>

namespace {

using namespace kestrane;
using kestrane::fuzz::require;
namespace fs = std::filesystem;

// Windows form: "X:\" (the fuzzed name holds no '/'), or anything that starts with '\'.
bool isWindowsForm(const std::string& path) {
    static const std::regex windowsForm{R"(^([A-Za-z]:)?\\)"};
    return std::regex_search(path, windowsForm);
}

// White space at either end, or a last part ending in a space or a dot.
bool hasStrayEnds(const std::string& name) {
    static const std::regex strayEnds{R"(^[ \t\n\v\f\r]|[ \t\n\v\f\r.]$)"};
    return std::regex_search(name, strayEnds);
}

// The code the guard and the system must give for this name and line; 0 for success.
int expectedCode(const std::string& name, std::string_view line) {
    // The line is judged before the path.
    if (fuzz::holdsAsciiControl(line) || !fuzz::toWindows1252(line)) {
        return signal::failure::InvalidText;
    }
    // Not UTF-8, such as half a surrogate pair from a window: no file the user can see.
    if (name.empty() || name.find('\0') != std::string_view::npos || !fuzz::isStrictUtf8(name)) {
        return signal::failure::BadFileName;
    }
    // "." and ".." among them.
    if (hasStrayEnds(name)) {
        return signal::failure::BadFileName;
    }
    if (isWindowsForm(name)) {
        return signal::failure::PathNotFound;
    }
    if (name.size() > 255) {
        return signal::failure::BadFileName;
    }
    return 0;
}

std::size_t entryCount(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator{folder}, fs::directory_iterator{}));
}

// Makes `folder` the working folder for the append only: libFuzzer itself keeps using paths
// relative to the folder it started in.
class InFolder {
public:
    explicit InFolder(const fs::path& folder)
        : previous_{::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)} {
        require(previous_ >= 0 && ::chdir(folder.c_str()) == 0, "entering the scratch folder");
    }
    ~InFolder() {
        require(::fchdir(previous_) == 0, "leaving the scratch folder");
        ::close(previous_);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    int previous_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const fuzz::ScratchFolder folder;

    FuzzedDataProvider input{data, size};
    std::string name = input.ConsumeRandomLengthString(300);
    std::replace(name.begin(), name.end(), '/', '_');
    const std::string line = input.ConsumeRemainingBytesAsString();

    const signal::AppendResult result = [&] {
        const InFolder inside{folder.path()};
        return signal::appendSignalLine(name, line);
    }();
    const int expected = expectedCode(name, line);
    require(result.code() == expected, "the guard gives the expected code");
    require(fuzz::isStrictUtf8(result.description()), "the failure description is valid UTF-8");
    if (expected != 0) {
        require(entryCount(folder.path()) == 0, "a refused append creates nothing");
        return 0;
    }
    require(entryCount(folder.path()) == 1, "a successful append creates one file");
    require(fuzz::readFile(folder.path() / name) == *fuzz::toWindows1252(line) + "\r\n",
            "the new file holds the line and CR LF");
    fs::remove(folder.path() / name);
    return 0;
}
