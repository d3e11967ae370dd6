// Hands trace spans and events to one Python callable, for the logging bridge.
// Detached, the library pays only its usual level check; attached, every call runs
// with the interpreter lock held, because every entry point holds it.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "convert.hpp"
#include "module.hpp"
#include "trace.hpp"

namespace quarvel::python {

namespace {

struct OpenSpan {
    std::uint64_t id;
    int level;
    std::string target;
    std::string name;
    std::vector<trace::Field> fields;
    std::chrono::steady_clock::time_point start;
};

Ref field_value(const trace::Field& field) {
    switch (field.type) {
        case trace::Field::Type::Number:
            return new_uint(field.number);
        case trace::Field::Type::Text:
            return new_str(field.text);
        case trace::Field::Type::Empty:
            break;
    }
    return new_none();
}

// Field names point into static storage of the trace points: copying a Field is safe.
Ref field_dict(std::span<const trace::Field> fields) {
    DictBuilder dict;
    for (const trace::Field& field : fields) dict.set(std::string(field.name).c_str(), field_value(field));
    return dict.finish();
}

// One call: callback(level, target, message, fields, span, elapsed). A failing
// callback is reported as unraisable and never disturbs the library call, which may
// itself be unwinding with a Python exception set.
class PythonSubscriber : public trace::Subscriber {
public:
    PyObject* callback = nullptr;  // strong reference while attached

    void reset() {
        open_.clear();
        next_id_ = 1;
    }

    void event(trace::Level level, std::string_view target, std::string_view message,
               std::span<const trace::Field> fields) override {
        deliver(static_cast<int>(level), target, message, fields, open_.empty() ? nullptr : open_.back().name.c_str(),
                -1.0);
    }

    std::uint64_t enter_span(trace::Level level, std::string_view target, std::string_view name,
                             std::span<const trace::Field> fields) override {
        // Spans nest as the library's calls do, never as deep as a file could make them.
        open_.push_back({next_id_, static_cast<int>(level), std::string(target), std::string(name),
                         std::vector<trace::Field>(fields.begin(), fields.end()), std::chrono::steady_clock::now()});
        return next_id_++;
    }

    void record(std::uint64_t span, const trace::Field& field) override {
        for (OpenSpan& open : open_) {
            if (open.id != span) continue;
            for (trace::Field& existing : open.fields)
                if (existing.name == field.name) {
                    existing = field;
                    return;
                }
            open.fields.push_back(field);
            return;
        }
    }

    // Reported when it closes, so that recorded fields and the duration are known.
    void exit_span(std::uint64_t span) override {
        for (std::size_t i = open_.size(); i-- > 0;) {
            if (open_[i].id != span) continue;
            OpenSpan closed = std::move(open_[i]);
            open_.erase(open_.begin() + static_cast<std::ptrdiff_t>(i));
            const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - closed.start;
            deliver(closed.level, closed.target, closed.name, closed.fields, closed.name.c_str(), elapsed.count());
            return;
        }
    }

private:
    void deliver(int level, std::string_view target, std::string_view message, std::span<const trace::Field> fields,
                 const char* span, double elapsed) {
        if (callback == nullptr) return;
        PyObject *type = nullptr, *value = nullptr, *traceback = nullptr;
        PyErr_Fetch(&type, &value, &traceback);
        try {
            Ref args = Ref::steal(PyTuple_New(6));
            Ref items[] = {new_int(level),
                           new_str(target),
                           new_str(message),
                           field_dict(fields),
                           span ? new_str(span) : new_none(),
                           elapsed >= 0 ? new_float(elapsed) : new_none()};
            for (Py_ssize_t i = 0; i < 6; ++i) check(PyTuple_SetItem(args.get(), i, items[i].release()));
            Ref result = Ref::steal(PyObject_Call(callback, args.get(), nullptr));
        } catch (const PythonError&) {
            PyErr_WriteUnraisable(callback);
        } catch (const std::bad_alloc&) {
            PyErr_Clear();
        }
        PyErr_Restore(type, value, traceback);
    }

    std::vector<OpenSpan> open_;
    std::uint64_t next_id_ = 1;
};

PythonSubscriber subscriber;

const char* const kSetTraceHook[] = {"callback", "level", nullptr};

}  // namespace

PyObject* set_trace_hook(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        PyObject* callback = nullptr;
        PyObject* level_object = nullptr;
        parse_arguments(args, kwargs, "OO:_set_trace_hook", kSetTraceHook, &callback, &level_object);
        if (callback != Py_None && !PyCallable_Check(callback))
            raise(PyExc_TypeError, "_set_trace_hook() argument 'callback' must be callable or None");
        const auto level = static_cast<trace::Level>(
            unsigned_arg(level_object, {"_set_trace_hook", "level"}, static_cast<int>(trace::Level::Off)));
        trace::set_subscriber(nullptr);
        PyObject* previous = subscriber.callback;
        subscriber.callback = nullptr;
        subscriber.reset();
        if (callback != Py_None && level != trace::Level::Off) {
            Py_INCREF(callback);
            subscriber.callback = callback;
            trace::set_subscriber(&subscriber, level);
        }
        Py_XDECREF(previous);
        return new_none();
    });
}

}  // namespace quarvel::python
