// Every real file through the whole read path; under the sanitizers this is the
// check that hostile input only ever ends in a PdfError.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "document.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

std::filesystem::path corpus_dir() {
    if (const char* dir = std::getenv("QUARVEL_CORPUS")) return dir;
    const char* source = std::getenv("QUARVEL_SOURCE_DIR");
    return std::filesystem::path(source ? source : ".") / ".." / "shared" / "corpus";
}

TEST(Corpus, EveryFileLoadsOrIsRefused) {
    const std::filesystem::path dir = corpus_dir();
    std::ifstream manifest(dir / "manifest.tsv");
    if (!manifest) GTEST_SKIP() << "corpus not available";
    std::string line;
    std::getline(manifest, line);
    std::size_t loaded = 0;
    while (std::getline(manifest, line)) {
        const std::string file = line.substr(0, line.find('\t'));
        SCOPED_TRACE(file);
        std::ifstream in(dir / file, std::ios::binary);
        std::ostringstream data;
        data << in.rdbuf();
        try {
            Document doc = Document::parse(data.str());
            ++loaded;
            doc.dump_objects();
            doc.text();
        } catch (const PdfError&) {
            // Refusals are fine here; which ones is for the Python corpus tests.
        }
    }
    EXPECT_GT(loaded, 100u);
}

}  // namespace
}  // namespace quarvel
