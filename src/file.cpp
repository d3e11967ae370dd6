#include "file.hpp"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "error.hpp"

namespace quarvel {

namespace {

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

// The C library would silently open a shorter path.
void refuse_embedded_nul(const std::string& path, const char* what) {
    if (path.find('\0') != std::string::npos) throw PdfError::io(what + path, "embedded null byte");
}

}  // namespace

std::string read_file(const std::string& path) {
    refuse_embedded_nul(path, "failed to read ");
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw PdfError::io("failed to read " + path, std::strerror(errno));
    std::string data;
    struct stat info {};
    if (::fstat(fd.get(), &info) == 0 && info.st_size > 0) data.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) break;
        if (n < 0) {
            if (errno == EINTR) continue;
            throw PdfError::io("failed to read " + path, std::strerror(errno));
        }
        data.append(buffer, static_cast<std::size_t>(n));
    }
    return data;
}

MappedFile::MappedFile(const std::string& path) {
    refuse_embedded_nul(path, "failed to open ");
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) throw PdfError::io("failed to open " + path, std::strerror(errno));
    struct stat info {};
    if (::fstat(fd.get(), &info) != 0) throw PdfError::io("failed to memory-map " + path, std::strerror(errno));
    length_ = static_cast<std::size_t>(info.st_size);
    // An empty file cannot be mapped; it is simply too short to be a PDF.
    if (length_ == 0) return;
    address_ = ::mmap(nullptr, length_, PROT_READ, MAP_PRIVATE, fd.get(), 0);
    if (address_ == MAP_FAILED) {
        address_ = nullptr;
        throw PdfError::io("failed to memory-map " + path, std::strerror(errno));
    }
}

MappedFile::~MappedFile() {
    if (address_) ::munmap(address_, length_);
}

}  // namespace quarvel
