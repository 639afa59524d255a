#pragma once
// What every fuzz target shares: the check that stops the run when the code
// under test and its model disagree (libFuzzer then keeps the input as a
// reproducer), a readable form of bytes for that report, and a scratch folder
// for the targets that need real files.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "tests/support/TemporaryFolder.h"

namespace quorlin::fuzz {

// Bytes as C escapes, cut after limit characters, for a failure report.
inline std::string Escaped(std::string_view bytes, size_t limit = 400) {
    std::string out;
    for (unsigned char c : bytes) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", c);
            out += escape;
        }
    }
    return out;
}

// Every item as show writes it, one after the other, for a failure report.
template <typename Items, typename Show>
std::string Listed(const Items& items, Show show) {
    std::string text;
    for (const auto& item : items) text += show(item);
    return text;
}

[[noreturn]] inline void Fail(const char* condition, const char* file, int line, const std::string& detail) {
    std::fprintf(stderr, "\n== model disagrees: %s\n   at %s:%d\n", condition, file, line);
    if (!detail.empty()) std::fprintf(stderr, "   %s\n", detail.c_str());
    std::abort();
}

// A private folder under TMPDIR (or /tmp), made on first use and removed when
// the process ends. Each fuzzing process (-jobs, -fork) has its own.
// A folder that cannot be made ends the run (an uncaught exception).
struct ScratchFolder {
    static const std::filesystem::path& Path() {
        static const test::TemporaryFolder folder("quorlin-fuzz");
        return folder.Location();
    }
};

}  // namespace quorlin::fuzz

// Stops the run with a report when a model's expectation fails.
#define FUZZ_CHECK(condition, detail) \
    ((condition) ? (void)0 : ::quorlin::fuzz::Fail(#condition, __FILE__, __LINE__, (detail)))
