#include "trace.hpp"

namespace quarvel::trace {

namespace {
std::atomic<Subscriber*> g_subscriber{nullptr};
}

void set_subscriber(Subscriber* subscriber, Level min_level) {
    g_subscriber.store(subscriber, std::memory_order_release);
    detail::g_min_level.store(static_cast<int>(subscriber ? min_level : Level::Off), std::memory_order_release);
}

void detail::emit_event(Level level, std::string_view target, std::string_view message,
                        std::initializer_list<Field> fields) {
    if (Subscriber* s = g_subscriber.load(std::memory_order_acquire))
        s->event(level, target, message, std::span<const Field>(fields.begin(), fields.size()));
}

Span::Span(Level level, std::string_view target, std::string_view name, std::initializer_list<Field> fields) {
    if (Subscriber* s = g_subscriber.load(std::memory_order_acquire)) {
        id_ = s->enter_span(level, target, name, std::span<const Field>(fields.begin(), fields.size()));
        active_ = true;
    }
}

Span::~Span() {
    if (!active_) return;
    if (Subscriber* s = g_subscriber.load(std::memory_order_acquire)) s->exit_span(id_);
}

void Span::record(Field field) {
    if (!active_) return;
    if (Subscriber* s = g_subscriber.load(std::memory_order_acquire)) s->record(id_, field);
}

}  // namespace quarvel::trace
