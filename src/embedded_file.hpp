// Files attached to the document through the catalog's /Names /EmbeddedFiles tree.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "document.hpp"

namespace quarvel {

struct EmbeddedFile {
    std::string name;  // the name-tree key
    std::optional<std::string> file_name;
    std::optional<std::string> description;
    const Stream* stream = nullptr;  // borrowed from the document

    // /Params /Size when /Params is given directly and /Size is an Integer; never checked.
    std::optional<Integer> declared_size() const;
};

// Ordered by name.
std::vector<EmbeddedFile> embedded_files(const Document& document);
EmbeddedFile embedded_file_from_entry(const Document& document, std::string name, const Object& entry);

}  // namespace quarvel
