// Argument conversion and plain value construction, shared by every entry point.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "pyref.hpp"

namespace quarvel::python {

// Names the argument in error messages: "object() argument 'number' ...".
struct Arg {
    const char* function;
    const char* name;
};

// Parses positional-or-keyword arguments into borrowed objects; missing optional
// arguments leave their pointer untouched.
template <class... Out>
void parse_arguments(PyObject* args, PyObject* kwargs, const char* format, const char* const* names,
                     Out... out) {
    if (!PyArg_ParseTupleAndKeywords(args, kwargs, format, const_cast<char**>(names), out...))
        throw PythonError{};
}

// `bytes` or a subclass only; the view lives as long as `object`.
std::string_view bytes_arg(PyObject* object, Arg arg);
// `str` or a subclass only.
std::string str_arg(PyObject* object, Arg arg);
// `str` or None; a missing argument (null) is None.
std::optional<std::string> optional_str_arg(PyObject* object, Arg arg);
// A non-negative int up to `max`: OverflowError outside, TypeError for other types.
std::uint64_t unsigned_arg(PyObject* object, Arg arg, std::uint64_t max);
std::size_t index_arg(PyObject* object, Arg arg);
std::uint32_t u32_arg(PyObject* object, Arg arg);
// A missing argument (null) is `fallback`.
std::uint16_t u16_arg(PyObject* object, Arg arg, std::uint16_t fallback);
bool bool_arg(PyObject* object, Arg arg, bool fallback);
// Any sequence of str except a str itself.
std::vector<std::string> str_sequence_arg(PyObject* object, Arg arg);
// Any sequence of numbers except a str, each item converted to a double.
std::vector<double> number_sequence_arg(PyObject* object, Arg arg);
// Its length alone, with the same TypeError for what is no such sequence.
Py_ssize_t number_sequence_size(PyObject* object, Arg arg);

Ref new_str(std::string_view text);
Ref new_bytes(std::string_view data);
Ref new_int(std::int64_t value);
Ref new_uint(std::uint64_t value);
Ref new_float(double value);
Ref new_bool(bool value);
Ref new_none();
Ref new_list();
Ref new_tuple2(Ref first, Ref second);
void append(const Ref& list, Ref item);

// A dict filled key by key, in the order the result shape fixes.
class DictBuilder {
public:
    DictBuilder();
    DictBuilder& set(const char* key, Ref value);
    Ref finish() { return std::move(dict_); }

private:
    Ref dict_;
};

}  // namespace quarvel::python
