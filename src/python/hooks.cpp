// Module-level functions for the pure-Python modules beside the extension: the
// logging bridge and the command line. They stay out of __all__.
#include "document_state.hpp"
#include "image.hpp"
#include "module.hpp"

namespace quarvel::python {

namespace {

const char* const kPageImagePnm[] = {"document", "index", "position", nullptr};

// One image at a time, so that a page's undecodable images (a JPEG, say) do not keep
// its plain ones from being written.
PyObject* page_image_pnm(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        PyObject* document = nullptr;
        PyObject* index = nullptr;
        PyObject* position = nullptr;
        parse_arguments(args, kwargs, "OOO:_page_image_pnm", kPageImagePnm, &document, &index, &position);
        PyObject* type = document_type();
        if (type == nullptr) throw PythonError{};
        if (!PyObject_TypeCheck(document, reinterpret_cast<PyTypeObject*>(type)))
            raise(PyExc_TypeError, "_page_image_pnm() argument 'document' must be Document");
        const std::size_t page_index = index_arg(index, {"_page_image_pnm", "index"});
        const std::size_t image_index = index_arg(position, {"_page_image_pnm", "position"});
        const State& state = state_of(document);
        return with_page(state, page_index, [&](const PageRecord& page) {
            const std::vector<PageImage> images = quarvel::page_images(state.document, page);
            if (image_index >= images.size()) raise(PyExc_ValueError, "image position out of range");
            return new_bytes(images[image_index].decoded_image().to_pnm());
        });
    });
}

}  // namespace

PyMethodDef private_functions[] = {
    {"_set_trace_hook", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&set_trace_hook)),
     METH_VARARGS | METH_KEYWORDS,
     "_set_trace_hook(callback, level)\n--\n\n"
     "Sends trace spans and events at `level` (0 trace ... 4 error, 5 off) and above to\n"
     "callback(level, target, message, fields, span, elapsed); None detaches."},
    {"_page_image_pnm", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&page_image_pnm)),
     METH_VARARGS | METH_KEYWORDS,
     "_page_image_pnm(document, index, position)\n--\n\n"
     "The PNM file of the image at `position` in document.page_images(index)."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace quarvel::python
