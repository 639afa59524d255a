#pragma once
// A fresh folder under the system's temporary folder for one test, removed
// with everything in it at the end; on every platform (mkdtemp is POSIX
// only, QTemporaryDir needs Qt).

#include <atomic>
#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace quorlin::test {

class TemporaryFolder {
public:
    // create_directory tells whether the folder is new, so a name another
    // test or run holds is never shared.
    explicit TemporaryFolder(const std::string& stem = "quorlin-test") {
        static std::atomic<unsigned> made{0};
        std::random_device random;
        for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
            std::error_code error;
            const auto candidate = std::filesystem::temp_directory_path(error) /
                                   (stem + "-" + std::to_string(random()) + "-" + std::to_string(made++));
            if (!error && std::filesystem::create_directory(candidate, error)) {
                path_ = candidate;
                return;
            }
        }
        throw std::runtime_error("cannot make a temporary folder for " + stem);
    }
    ~TemporaryFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TemporaryFolder(const TemporaryFolder&) = delete;
    TemporaryFolder& operator=(const TemporaryFolder&) = delete;

    const std::filesystem::path& Location() const { return path_; }
    // The folder's path, ending in no separator.
    std::string Path() const { return path_.string(); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    static constexpr int kNameAttempts = 100;
    std::filesystem::path path_;
};

}  // namespace quorlin::test
