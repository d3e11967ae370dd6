// Module initialisation: multi-phase, no per-module state, one execution hook.
#include "module.hpp"

namespace quarvel::python {

namespace {

void add_to_all(PyObject* module, const char* name) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all == nullptr) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) throw PythonError{};
        PyErr_Clear();
        all = PyList_New(0);
        if (all == nullptr) throw PythonError{};
        if (PyModule_AddObjectRef(module, "__all__", all) < 0) {
            Py_DECREF(all);
            throw PythonError{};
        }
    }
    Ref list = Ref::steal(all);
    Ref text = Ref::steal(PyUnicode_FromString(name));
    check(PyList_Append(list.get(), text.get()));
}

// The extension sits inside the package `quarvel`; its functions report that package
// as their module, like the Document type does.
void add_functions(PyObject* module, PyMethodDef* functions, bool listed) {
    Ref package = Ref::steal(PyUnicode_FromString("quarvel"));
    for (PyMethodDef* def = functions; def->ml_name != nullptr; ++def) {
        Ref function = Ref::steal(PyCFunction_NewEx(def, module, package.get()));
        check(PyModule_AddObjectRef(module, def->ml_name, function.get()));
        if (listed) add_to_all(module, def->ml_name);
    }
}

int exec_module(PyObject* module) {
    try {
        if (!PyModule_Check(module)) raise(PyExc_TypeError, "quarvel: expected a module object");
        PyObject* type = document_type();
        if (type == nullptr) throw PythonError{};
        check(PyModule_AddObjectRef(module, "Document", type));
        add_to_all(module, "Document");
        add_functions(module, module_functions, true);
        add_functions(module, private_functions, false);
        add_functions(module, limit_functions, false);
        return 0;
    } catch (const PythonError&) {
        return -1;
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
        return -1;
    }
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(&exec_module)},
    {0, nullptr},
};

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "quarvel",
    "",
    0,
    nullptr,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace

}  // namespace quarvel::python

PyMODINIT_FUNC PyInit_quarvel() { return PyModuleDef_Init(&quarvel::python::module_definition); }
