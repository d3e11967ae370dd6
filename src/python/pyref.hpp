// Owning references and the one place where C++ exceptions become Python exceptions.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "error.hpp"

namespace quarvel::python {

// Thrown after a Python API call failed: the Python exception is already set.
struct PythonError {};

// A strong reference, released on scope exit so that no error path leaks.
class Ref {
public:
    Ref() = default;
    Ref(const Ref&) = delete;
    Ref& operator=(const Ref&) = delete;
    Ref(Ref&& other) noexcept : object_(other.release()) {}
    Ref& operator=(Ref&& other) noexcept {
        Ref moved(std::move(other));
        std::swap(object_, moved.object_);
        return *this;
    }
    ~Ref() { Py_XDECREF(object_); }

    // Takes over a new reference; null means the call failed.
    static Ref steal(PyObject* object) {
        if (object == nullptr) throw PythonError{};
        return Ref(object);
    }
    static Ref borrow(PyObject* object) {
        Py_XINCREF(object);
        return Ref(object);
    }

    PyObject* get() const noexcept { return object_; }
    PyObject* release() noexcept { return std::exchange(object_, nullptr); }
    explicit operator bool() const noexcept { return object_ != nullptr; }

private:
    explicit Ref(PyObject* object) noexcept : object_(object) {}
    PyObject* object_ = nullptr;
};

// For the int-returning API calls: negative means an exception is set.
inline void check(int status) {
    if (status < 0) throw PythonError{};
}

// Sets `type` with the whole message: texts may hold NUL bytes (a path does).
inline void set_error(PyObject* type, std::string_view message) {
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace");
    if (text == nullptr) return;  // the decoding error is set instead
    PyErr_SetObject(type, text);
    Py_DECREF(text);
}

[[noreturn]] inline void raise(PyObject* type, const std::string& message) {
    set_error(type, message);
    throw PythonError{};
}

// Runs one entry point and translates whatever it throws, exactly once.
template <class Body>
PyObject* guarded(Body&& body) noexcept {
    try {
        return body().release();
    } catch (const PythonError&) {
    } catch (const PdfError& error) {
        set_error(PyExc_ValueError, error.text());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& error) {
        PyErr_SetString(PyExc_RuntimeError, error.what());
    } catch (...) {
        PyErr_SetString(PyExc_RuntimeError, "unexpected native exception");
    }
    return nullptr;
}

}  // namespace quarvel::python
