// Reading PDF files from disk: whole, or through a read-only memory mapping.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace quarvel {

// The whole file; failure is PdfError Io "failed to read <path>: <reason>".
std::string read_file(const std::string& path);

// A read-only mapping of a whole file, released on destruction. Failure is PdfError
// Io "failed to open <path>: ..." or "failed to memory-map <path>: ...".
class MappedFile {
public:
    explicit MappedFile(const std::string& path);
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    ~MappedFile();

    std::string_view bytes() const { return {static_cast<const char*>(address_), length_}; }

private:
    void* address_ = nullptr;
    std::size_t length_ = 0;
};

}  // namespace quarvel
