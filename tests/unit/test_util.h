// Small helpers shared by the unit tests (native and Windows builds alike).
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace testutil {

inline long ProcessId() {
#ifdef _WIN32
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

// A fresh, empty directory for one test, removed when the object goes. Its
// name holds the process id: test runs side by side (another build's, or
// another suite's under valgrind) never share one.
class TempDir {
public:
    TempDir() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = std::string("vorlo_") + std::to_string(ProcessId()) + "_" +
                           (info ? info->test_suite_name() : "t") + "_" + (info ? info->name() : "x");
        path_ = std::filesystem::temp_directory_path() / name;
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
        std::filesystem::create_directories(path_);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    // The full path of a file in the directory, as the platform writes paths;
    // name and result are UTF-8, as the program's strings.
    std::string File(const std::string& name) const { return (path_ / std::filesystem::u8path(name)).string(); }
    std::string Path() const { return path_.string(); }

private:
    std::filesystem::path path_;
};

inline void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string ReadText(const std::string& path) {
    auto b = ReadBytes(path);
    return std::string(b.begin(), b.end());
}

// The directory of the source tree (for test data such as the vectors).
inline std::string SourceDir() {
#ifdef VORLO_SOURCE_DIR
    return VORLO_SOURCE_DIR;
#else
    return ".";
#endif
}

// The shared test material beside the clone (conformance vectors, the
// standard's tables): $VORLO_SHARED when set, else ../shared next to the
// source tree.
inline std::string SharedDir() {
    const char* env = std::getenv("VORLO_SHARED");
    if (env && *env) {
#ifdef _WIN32
        if (*env == '/') return std::string("Z:") + env;  // a host path, under Wine
#endif
        return env;
    }
    return SourceDir() + "/../shared";
}

// The conformance vectors (NAME.bit with its reference NAME.pcm).
inline std::string VectorDir() { return SharedDir() + "/vectors"; }

// Whether the tests run under valgrind (valgrind_check.sh says so).
inline bool UnderValgrind() {
    const char* env = std::getenv("VORLO_UNDER_VALGRIND");
    return env && *env && *env != '0';
}

// The rounds of a concurrency stress test: all of them natively and under
// the sanitizers; a bounded few under valgrind, which runs one thread at a
// time (memcheck is there for memory errors, not for races).
inline int StressRounds(int rounds, int underValgrind = 10) {
    return UnderValgrind() ? std::min(rounds, underValgrind) : rounds;
}

// 16-bit little-endian PCM bytes as samples.
inline std::vector<int16_t> AsSamples(const std::vector<uint8_t>& b) {
    std::vector<int16_t> s(b.size() / 2);
    for (size_t i = 0; i < s.size(); i++) s[i] = static_cast<int16_t>(b[2 * i] | (b[2 * i + 1] << 8));
    return s;
}

// The difference between decoded and reference PCM: its RMS and its largest
// value in LSB over the n samples compared.
struct PcmDiff {
    double rms = 0;
    int max = 0;
    size_t n = 0;
};

// ours[i] against ref[i + refOffset], from i = skip on while both hold
// samples. Nothing compared gives an RMS no limit accepts.
inline PcmDiff ComparePcm(const std::vector<int16_t>& ours, const std::vector<int16_t>& ref,
                          size_t refOffset = 0, size_t skip = 0) {
    PcmDiff d;
    double sq = 0;
    for (size_t i = skip; i < ours.size() && i + refOffset < ref.size(); i++) {
        const int e = std::abs(int(ours[i]) - int(ref[i + refOffset]));
        sq += double(e) * e;
        if (e > d.max) d.max = e;
        d.n++;
    }
    d.rms = d.n ? std::sqrt(sq / double(d.n)) : 1e9;
    return d;
}

}  // namespace testutil
