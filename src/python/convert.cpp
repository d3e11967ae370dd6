#include "convert.hpp"

#include <algorithm>
#include <limits>

namespace quarvel::python {

namespace {

std::string type_name(PyObject* object) {
    // PyType_GetName is not in the 3.10 stable ABI.
    Ref name = Ref::steal(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__name__"));
    Py_ssize_t size = 0;
    const char* text = PyUnicode_Check(name.get()) ? PyUnicode_AsUTF8AndSize(name.get(), &size) : nullptr;
    if (text == nullptr) {
        PyErr_Clear();
        return "object";
    }
    return std::string(text, static_cast<std::size_t>(size));
}

std::string prefix(Arg arg) { return std::string(arg.function) + "() argument '" + arg.name + "'"; }

[[noreturn]] void type_error(PyObject* object, Arg arg, const char* expected) {
    raise(PyExc_TypeError, prefix(arg) + " must be " + expected + ", not " + type_name(object));
}

// A str is a sequence of str, but never the sequence a caller means.
Py_ssize_t sequence_size(PyObject* object, Arg arg, const char* expected) {
    if (PyUnicode_Check(object) || !PySequence_Check(object)) type_error(object, arg, expected);
    Py_ssize_t size = PySequence_Size(object);
    if (size < 0) throw PythonError{};
    return size;
}

// A sequence's __len__ is only its claim: room for more is made as items arrive.
std::size_t reserved_for(Py_ssize_t size) { return std::min(static_cast<std::size_t>(size), std::size_t{1024}); }

[[noreturn]] void item_type_error(PyObject* item, Arg arg, Py_ssize_t index, const char* expected) {
    raise(PyExc_TypeError,
          prefix(arg) + " item " + std::to_string(index) + " must be " + expected + ", not " + type_name(item));
}

std::string utf8(PyObject* object) {
    Py_ssize_t size = 0;
    const char* text = PyUnicode_AsUTF8AndSize(object, &size);
    if (text == nullptr) throw PythonError{};
    return std::string(text, static_cast<std::size_t>(size));
}

}  // namespace

std::string_view bytes_arg(PyObject* object, Arg arg) {
    if (!PyBytes_Check(object)) type_error(object, arg, "bytes");
    char* data = nullptr;
    Py_ssize_t size = 0;
    check(PyBytes_AsStringAndSize(object, &data, &size));
    return std::string_view(data, static_cast<std::size_t>(size));
}

std::string str_arg(PyObject* object, Arg arg) {
    if (!PyUnicode_Check(object)) type_error(object, arg, "str");
    return utf8(object);
}

std::optional<std::string> optional_str_arg(PyObject* object, Arg arg) {
    if (object == nullptr || object == Py_None) return std::nullopt;
    if (!PyUnicode_Check(object)) type_error(object, arg, "str or None");
    return utf8(object);
}

std::uint64_t unsigned_arg(PyObject* object, Arg arg, std::uint64_t max) {
    if (!PyLong_Check(object)) type_error(object, arg, "int");
    int overflow = 0;
    long long value = PyLong_AsLongLongAndOverflow(object, &overflow);
    if (value == -1 && PyErr_Occurred()) throw PythonError{};
    if (overflow < 0 || (overflow == 0 && value < 0))
        raise(PyExc_OverflowError, prefix(arg) + " must not be negative");
    bool fits = overflow == 0 && static_cast<std::uint64_t>(value) <= max;
    std::uint64_t result = static_cast<std::uint64_t>(value);
    if (overflow > 0) {
        result = PyLong_AsUnsignedLongLong(object);
        fits = !PyErr_Occurred() && result <= max;
        PyErr_Clear();
    }
    if (!fits) raise(PyExc_OverflowError, prefix(arg) + " must be at most " + std::to_string(max));
    return result;
}

std::size_t index_arg(PyObject* object, Arg arg) {
    return static_cast<std::size_t>(unsigned_arg(object, arg, std::numeric_limits<std::size_t>::max()));
}

std::uint32_t u32_arg(PyObject* object, Arg arg) {
    return static_cast<std::uint32_t>(unsigned_arg(object, arg, std::numeric_limits<std::uint32_t>::max()));
}

std::uint16_t u16_arg(PyObject* object, Arg arg, std::uint16_t fallback) {
    if (object == nullptr) return fallback;
    return static_cast<std::uint16_t>(unsigned_arg(object, arg, std::numeric_limits<std::uint16_t>::max()));
}

bool bool_arg(PyObject* object, Arg arg, bool fallback) {
    if (object == nullptr) return fallback;
    if (!PyBool_Check(object)) type_error(object, arg, "bool");
    return object == Py_True;
}

std::vector<std::string> str_sequence_arg(PyObject* object, Arg arg) {
    Py_ssize_t size = sequence_size(object, arg, "a sequence of str");
    std::vector<std::string> result;
    result.reserve(reserved_for(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        Ref item = Ref::steal(PySequence_GetItem(object, i));
        if (!PyUnicode_Check(item.get())) item_type_error(item.get(), arg, i, "str");
        result.push_back(utf8(item.get()));
    }
    return result;
}

Py_ssize_t number_sequence_size(PyObject* object, Arg arg) {
    return sequence_size(object, arg, "a sequence of numbers");
}

std::vector<double> number_sequence_arg(PyObject* object, Arg arg) {
    Py_ssize_t size = number_sequence_size(object, arg);
    std::vector<double> result;
    result.reserve(reserved_for(size));
    for (Py_ssize_t i = 0; i < size; ++i) {
        Ref item = Ref::steal(PySequence_GetItem(object, i));
        // Whatever has __float__ or __index__ counts; a too large int keeps its OverflowError.
        double value = PyFloat_AsDouble(item.get());
        if (value == -1.0 && PyErr_Occurred()) {
            if (!PyErr_ExceptionMatches(PyExc_TypeError)) throw PythonError{};
            PyErr_Clear();
            item_type_error(item.get(), arg, i, "a number");
        }
        result.push_back(value);
    }
    return result;
}

// The core only produces valid UTF-8; replacing keeps a stray byte from becoming an error.
Ref new_str(std::string_view text) {
    return Ref::steal(PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace"));
}

Ref new_bytes(std::string_view data) {
    return Ref::steal(PyBytes_FromStringAndSize(data.data(), static_cast<Py_ssize_t>(data.size())));
}

Ref new_int(std::int64_t value) { return Ref::steal(PyLong_FromLongLong(value)); }
Ref new_uint(std::uint64_t value) { return Ref::steal(PyLong_FromUnsignedLongLong(value)); }
Ref new_float(double value) { return Ref::steal(PyFloat_FromDouble(value)); }
Ref new_bool(bool value) { return Ref::steal(PyBool_FromLong(value)); }

Ref new_none() { return Ref::borrow(Py_None); }
Ref new_list() { return Ref::steal(PyList_New(0)); }

Ref new_tuple2(Ref first, Ref second) {
    Ref tuple = Ref::steal(PyTuple_New(2));
    // PyTuple_SetItem steals, even on failure.
    check(PyTuple_SetItem(tuple.get(), 0, first.release()));
    check(PyTuple_SetItem(tuple.get(), 1, second.release()));
    return tuple;
}

void append(const Ref& list, Ref item) { check(PyList_Append(list.get(), item.get())); }

DictBuilder::DictBuilder() : dict_(Ref::steal(PyDict_New())) {}

DictBuilder& DictBuilder::set(const char* key, Ref value) {
    check(PyDict_SetItemString(dict_.get(), key, value.get()));
    return *this;
}

}  // namespace quarvel::python
