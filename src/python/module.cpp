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

int exec_module(PyObject* module) {
    try {
        if (!PyModule_Check(module)) raise(PyExc_TypeError, "quarvel: expected a module object");
        PyObject* type = document_type();
        if (type == nullptr) throw PythonError{};
        check(PyModule_AddObjectRef(module, "Document", type));
        add_to_all(module, "Document");
        check(PyModule_AddFunctions(module, module_functions));
        // The other functions are configuration, not part of the star-import surface.
        add_to_all(module, "write_text_pdf");
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
