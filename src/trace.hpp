// Structured trace spans and events. Silent unless a subscriber is installed:
// with none, each trace point costs one relaxed atomic load.
#pragma once

#include <atomic>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

namespace quarvel::trace {

enum class Level : int { Trace = 0, Debug = 1, Info = 2, Warn = 3, Error = 4, Off = 5 };

inline constexpr std::string_view kDocumentTarget = "quarvel::document";
inline constexpr std::string_view kObjectTarget = "quarvel::object";

struct Field {
    enum class Type : std::uint8_t { Empty, Number, Text };
    std::string_view name;
    Type type = Type::Empty;
    std::uint64_t number = 0;
    std::string text;

    Field(std::string_view n) : name(n) {}
    Field(std::string_view n, std::uint64_t v) : name(n), type(Type::Number), number(v) {}
    Field(std::string_view n, std::string v) : name(n), type(Type::Text), text(std::move(v)) {}
};

class Subscriber {
public:
    virtual ~Subscriber() = default;
    virtual void event(Level level, std::string_view target, std::string_view message,
                       std::span<const Field> fields) = 0;
    // Returns an id passed back to record() and exit_span().
    virtual std::uint64_t enter_span(Level level, std::string_view target, std::string_view name,
                                     std::span<const Field> fields) = 0;
    virtual void record(std::uint64_t span, const Field& field) = 0;
    virtual void exit_span(std::uint64_t span) = 0;
};

// Delivers everything at `min_level` or above to `subscriber`; nullptr detaches.
// The subscriber must outlive its installation.
void set_subscriber(Subscriber* subscriber, Level min_level = Level::Trace);

namespace detail {
inline std::atomic<int> g_min_level{static_cast<int>(Level::Off)};
void emit_event(Level level, std::string_view target, std::string_view message,
                std::initializer_list<Field> fields);
}  // namespace detail

inline bool enabled(Level level) {
    return static_cast<int>(level) >= detail::g_min_level.load(std::memory_order_relaxed);
}

class Span {
public:
    Span() = default;
    Span(Level level, std::string_view target, std::string_view name, std::initializer_list<Field> fields);
    Span(const Span&) = delete;
    Span& operator=(const Span&) = delete;
    Span(Span&& other) noexcept : id_(other.id_), active_(other.active_) { other.active_ = false; }
    ~Span();

    void record(Field field);

private:
    std::uint64_t id_ = 0;
    bool active_ = false;
};

}  // namespace quarvel::trace

// Fields are only built when someone listens.
#define QUARVEL_TRACE_EVENT(target, message, ...)                                                      \
    do {                                                                                              \
        if (::quarvel::trace::enabled(::quarvel::trace::Level::Trace))                                \
            ::quarvel::trace::detail::emit_event(::quarvel::trace::Level::Trace, target, message,     \
                                                 {__VA_ARGS__});                                      \
    } while (0)

#define QUARVEL_INFO_SPAN(var, target, name, ...)                                                     \
    ::quarvel::trace::Span var = ::quarvel::trace::enabled(::quarvel::trace::Level::Info)             \
                                     ? ::quarvel::trace::Span(::quarvel::trace::Level::Info, target, \
                                                              name, {__VA_ARGS__})                    \
                                     : ::quarvel::trace::Span()
