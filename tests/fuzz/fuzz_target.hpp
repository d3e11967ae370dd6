// The common shape of a fuzz target: a function of the input bytes that may throw
// PdfError (a refused input) and nothing else. Anything else that escapes, every
// sanitizer report and every broken property (QUARVEL_FUZZ_CHECK) is a crash.
//
//   QUARVEL_FUZZ_TARGET(lexer) { ... use `data` ... }
//
// Built with QUARVEL_LIBFUZZER the macro defines libFuzzer's entry point; otherwise
// it registers the function with the replay driver under the file's name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "error.hpp"
#include "filter.hpp"

namespace quarvel::fuzz {

using TargetFunction = void (*)(std::string_view data);

struct Target {
    const char* name;
    TargetFunction run;
};

inline std::vector<Target>& registry() {
    static std::vector<Target> targets;
    return targets;
}

struct Registration {
    Registration(const char* name, TargetFunction run) { registry().push_back({name, run}); }
};

// Bombs stop far below the fuzzer's memory limit, so only real leaks and
// unbounded allocations reach it.
inline constexpr std::size_t kFuzzDecodedSizeLimit = std::size_t{16} << 20;

inline void run_one(TargetFunction run, std::string_view data) {
    static const bool prepared = (set_decoded_size_limit(kFuzzDecodedSizeLimit), true);
    (void)prepared;
    try {
        run(data);
    } catch (const PdfError&) {
        // A refused input is a correct outcome.
    }
}

// Runs one query of a target that goes on with the next whatever this one refuses.
template <class F>
void refusable(F&& query) {
    try {
        query();
    } catch (const PdfError&) {
    }
}

[[noreturn]] inline void property_failed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: property does not hold: %s\n", file, line, condition);
    std::abort();
}

// Reads an input as a few independent parts: a byte at a time, or up to a separator.
class Reader {
public:
    explicit Reader(std::string_view data) : rest_(data) {}

    unsigned char byte() {
        if (rest_.empty()) return 0;
        const auto b = static_cast<unsigned char>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // Up to the next `separator` (dropped), or everything left.
    std::string_view until(char separator) {
        const std::size_t at = rest_.find(separator);
        std::string_view part = rest_.substr(0, at);
        rest_.remove_prefix(at == std::string_view::npos ? rest_.size() : at + 1);
        return part;
    }
    std::string_view rest() {
        std::string_view all = rest_;
        rest_ = {};
        return all;
    }
    bool empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

}  // namespace quarvel::fuzz

#define QUARVEL_FUZZ_CHECK(condition) \
    ((condition) ? void() : ::quarvel::fuzz::property_failed(#condition, __FILE__, __LINE__))

#ifdef QUARVEL_LIBFUZZER
#define QUARVEL_FUZZ_TARGET(name)                                                             \
    static void fuzz_##name(std::string_view data);                                           \
    extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {      \
        ::quarvel::fuzz::run_one(&fuzz_##name, {reinterpret_cast<const char*>(bytes), size}); \
        return 0;                                                                             \
    }                                                                                         \
    static void fuzz_##name(std::string_view data)
#else
#define QUARVEL_FUZZ_TARGET(name)                                                    \
    static void fuzz_##name(std::string_view data);                                  \
    static const ::quarvel::fuzz::Registration register_##name(#name, &fuzz_##name); \
    static void fuzz_##name(std::string_view data)
#endif
