#pragma once
// Small helpers to put bytes into files and read them back, and byte
// patterns that show misplaced or repeated pieces.

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace quorlin::test {

using Bytes = std::vector<std::uint8_t>;

inline void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

inline Bytes ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Bytes that differ from place to place, so that misplaced or repeated
// pieces show in comparisons.
inline Bytes Pattern(std::size_t size, std::uint32_t seed = 1) {
    Bytes bytes(size);
    std::uint32_t state = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<std::uint8_t>(state >> 24);
    }
    return bytes;
}

inline std::uint32_t ReferenceSum(const Bytes& bytes, std::size_t from = 0) {
    std::uint32_t sum = 0;
    for (std::size_t i = from; i < bytes.size(); ++i) sum += bytes[i];
    return sum;
}

inline Bytes Concat(const Bytes& a, const Bytes& b) {
    Bytes out(a.size() + b.size());
    std::copy(a.begin(), a.end(), out.begin());
    std::copy(b.begin(), b.end(), out.begin() + static_cast<std::ptrdiff_t>(a.size()));
    return out;
}

inline Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from), bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace quorlin::test
