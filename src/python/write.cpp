// Module-level functions that produce PDF bytes.
#include "convert.hpp"
#include "module.hpp"
#include "writer.hpp"

namespace quarvel::python {

namespace {

const char* const kWriteTextPdf[] = {"pages", "title", "author", nullptr};

PyObject* write_text_pdf(PyObject*, PyObject* args, PyObject* kwargs) {
    return guarded([&] {
        PyObject* pages = nullptr;
        PyObject* title = nullptr;
        PyObject* author = nullptr;
        parse_arguments(args, kwargs, "O|OO:write_text_pdf", kWriteTextPdf, &pages, &title, &author);
        std::vector<std::string> texts = str_sequence_arg(pages, {"write_text_pdf", "pages"});
        std::optional<std::string> title_text = optional_str_arg(title, {"write_text_pdf", "title"});
        std::optional<std::string> author_text = optional_str_arg(author, {"write_text_pdf", "author"});
        return new_bytes(quarvel::write_text_pdf(texts, title_text, author_text));
    });
}

}  // namespace

PyMethodDef module_functions[] = {
    {"write_text_pdf", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&write_text_pdf)),
     METH_VARARGS | METH_KEYWORDS, "write_text_pdf(pages, title=None, author=None)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace quarvel::python
