#pragma once
// A fresh folder under the system's temporary folder, on every platform
// (mkdtemp is POSIX only).

#include <atomic>
#include <filesystem>
#include <random>
#include <string>

namespace quorlin::test {

// Makes a new folder named after stem; empty when none could be made.
inline std::filesystem::path MakeTemporaryFolder(const std::string& stem) {
    static std::atomic<unsigned> made{0};
    std::random_device random;
    constexpr int kAttempts = 100;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        std::error_code error;
        const auto path = std::filesystem::temp_directory_path(error) /
                          (stem + "-" + std::to_string(random()) + "-" + std::to_string(made++));
        if (!error && std::filesystem::create_directory(path, error)) return path;
    }
    return {};
}

}  // namespace quorlin::test
