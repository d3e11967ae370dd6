// Module-level limits that applications opening untrusted files may tighten.
#include <limits>

#include "convert.hpp"
#include "filter.hpp"
#include "module.hpp"

namespace quarvel::python {

namespace {

const char* const kLimit[] = {"limit", nullptr};

PyObject* set_decoded_size_limit(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        PyObject* limit = nullptr;
        parse_arguments(args, kwargs, "O:set_decoded_size_limit", kLimit, &limit);
        const std::size_t bytes =
            unsigned_arg(limit, {"set_decoded_size_limit", "limit"}, std::numeric_limits<std::size_t>::max());
        if (bytes == 0) raise(PyExc_ValueError, "set_decoded_size_limit() argument 'limit' must be positive");
        return new_uint(quarvel::set_decoded_size_limit(bytes));
    });
}

}  // namespace

PyMethodDef limit_functions[] = {
    {"set_decoded_size_limit", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&set_decoded_size_limit)),
     METH_VARARGS | METH_KEYWORDS, "set_decoded_size_limit(limit)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace quarvel::python
