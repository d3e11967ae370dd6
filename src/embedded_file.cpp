#include "embedded_file.hpp"

#include "name_tree.hpp"
#include "unicode.hpp"

namespace quarvel {

std::optional<Integer> EmbeddedFile::declared_size() const {
    const Object* params = stream->dictionary.get("Params");
    const Dictionary* dictionary = params ? params->as_dictionary_like() : nullptr;
    const Object* size = dictionary ? dictionary->get("Size") : nullptr;
    const Integer* value = size ? size->as_integer() : nullptr;
    return value ? std::optional<Integer>(*value) : std::nullopt;
}

namespace {

// Where an attachment's error arose, in the error text: the PDF standard's own names
// for the dictionary, its /EF entry and the stream chosen there. Callers match on them.
constexpr std::string_view kEntry = "embedded file specification";
constexpr std::string_view kEf = "file specification /EF";
constexpr std::string_view kEfStream = "file specification /EF entry";

}  // namespace

EmbeddedFile embedded_file_from_entry(const Document& document, std::string name, const Object& entry) {
    const Dictionary& file = document.resolve_to_dictionary(entry, kEntry);
    const Object* ef_entry = file.get("EF");
    if (!ef_entry) throw PdfError::missing_entry(kEntry, "EF");
    const Dictionary* ef = document.resolve(*ef_entry).as_dictionary();
    if (!ef) throw PdfError::type_mismatch(kEf, "dictionary");
    const Object* chosen = nullptr;
    for (std::string_view key : {"UF", "F", "Unix", "DOS", "Mac"})
        if ((chosen = ef->get(key))) break;
    if (!chosen) throw PdfError::missing_entry(kEf, "F");
    if (!chosen->as_reference()) throw PdfError::type_mismatch(kEfStream, "indirect reference");
    const Stream* stream = document.resolve(*chosen).as_stream();
    if (!stream) throw PdfError::type_mismatch(kEfStream, "stream");

    EmbeddedFile out;
    out.name = std::move(name);
    out.file_name = text_string_entry(file, "UF");
    if (!out.file_name) out.file_name = text_string_entry(file, "F");
    out.description = text_string_entry(file, "Desc");
    out.stream = stream;
    return out;
}

std::vector<EmbeddedFile> embedded_files(const Document& document) {
    const Object* names = document.catalog().get("Names");
    if (!names) return {};
    const Dictionary& dictionary = document.resolve_to_dictionary(*names, "catalog /Names");
    const Object* tree = dictionary.get("EmbeddedFiles");
    if (!tree) return {};
    NameTreeEntries entries;
    VisitedObjects visited;
    collect_name_tree_entries(document, *tree, "catalog /Names /EmbeddedFiles", entries, visited);
    std::vector<EmbeddedFile> out;
    out.reserve(entries.size());
    for (auto& [key, value] : entries) out.push_back(embedded_file_from_entry(document, std::move(key), *value));
    return out;
}

}  // namespace quarvel
