// What every method of the Python Document sees: the parsed file and how to get its
// bytes back, plus the adapters from plain C++ functions to CPython calling conventions.
#pragma once

#include <cstddef>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "convert.hpp"
#include "document.hpp"

namespace quarvel::python {

struct State {
    std::optional<std::string> source_data;
    std::optional<std::string> source_path;
    Document document;
};

struct PyDocument {
    PyObject_HEAD
    alignas(State) unsigned char storage[sizeof(State)];
};

inline const State& state_of(PyObject* self) {
    return *std::launder(reinterpret_cast<const State*>(reinterpret_cast<PyDocument*>(self)->storage));
}

// The kept copy, else a fresh read of the path.
std::string source_of(const State& state);

// Page-indexed methods report a broken page tree before a bad index.
template <class Use>
Ref with_page(const State& state, std::size_t index, Use&& use) {
    const std::optional<PageRecord> page = state.document.page_at(index);
    if (!page) raise(PyExc_ValueError, "page index out of range");
    return use(*page);
}

// The one `index` argument of a page-indexed method.
std::size_t page_index_args(PyObject* args, PyObject* kwargs, const char* format, const char* function);

using StaticImpl = Ref (*)(PyObject*, PyObject*);
using NoArgsImpl = Ref (*)(const State&);
using ArgsImpl = Ref (*)(const State&, PyObject*, PyObject*);

template <StaticImpl F>
PyObject* static_method(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] { return F(args, kwargs); });
}

template <NoArgsImpl F>
PyObject* noargs_method(PyObject* self, PyObject*) {
    return guarded([&] { return F(state_of(self)); });
}

template <ArgsImpl F>
PyObject* args_method(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded([&] { return F(state_of(self), args, kwargs); });
}

template <StaticImpl F>
PyMethodDef static_def(const char* name, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&static_method<F>)),
            METH_VARARGS | METH_KEYWORDS | METH_STATIC, doc};
}

template <NoArgsImpl F>
PyMethodDef noargs_def(const char* name, const char* doc) {
    return {name, &noargs_method<F>, METH_NOARGS, doc};
}

template <ArgsImpl F>
PyMethodDef args_def(const char* name, const char* doc) {
    return {name, reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&args_method<F>)),
            METH_VARARGS | METH_KEYWORDS, doc};
}

}  // namespace quarvel::python
