// A fresh folder for one test, removed with everything in it afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

#ifdef _WIN32
#include <random>
#else
#include <cerrno>
#include <stdlib.h>
#endif

namespace kestrane::testing {

class TempDir {
public:
    TempDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "kestrane-XXXXXX").string();
        path_ = makeFolder(pattern);
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // The names of everything below the folder, for checking that nothing was created.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(path_)) {
            names.push_back(entry.path().lexically_relative(path_).generic_string());
        }
        return names;
    }

private:
    static std::filesystem::path makeFolder(std::string pattern) {
#ifdef _WIN32
        // No mkdtemp here: try fresh names until one can be created.
        std::random_device random;
        for (;;) {
            auto candidate = pattern.substr(0, pattern.size() - 6) + std::to_string(random());
            if (std::filesystem::create_directory(candidate)) {
                return candidate;
            }
        }
#else
        if (const char* made = ::mkdtemp(pattern.data())) {
            return made;
        }
        throw std::system_error{errno, std::generic_category(), "mkdtemp"};
#endif
    }

    std::filesystem::path path_;
};

inline std::string readBytes(const std::filesystem::path& file) {
    std::ifstream in{file, std::ios::binary};
    return {std::istreambuf_iterator<char>{in}, std::istreambuf_iterator<char>{}};
}

inline void writeBytes(const std::filesystem::path& file, const std::string& bytes) {
    std::ofstream out{file, std::ios::binary | std::ios::trunc};
    out << bytes;
}

} // namespace kestrane::testing

namespace kestrane::testing {

// A path as the UTF-8 text the window would hand to the core.
inline std::string utf8(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return {text.begin(), text.end()};
}

} // namespace kestrane::testing
