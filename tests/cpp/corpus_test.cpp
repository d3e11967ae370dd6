// Every real file through the whole read path; under the sanitizers this is the
// check that hostile input only ever ends in a PdfError.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "document.hpp"
#include "font.hpp"
#include "image.hpp"
#include "inspect.hpp"
#include "support.hpp"
#include "text.hpp"

namespace quarvel {
namespace {

// Every font and image of every page; most images refuse decoding.
void read_resources(const Document& doc) {
    testing_support::error_of([&] {
        for (const PageRecord& page : doc.pages()) {
            for (const PageFont& font : page_fonts(doc, page))
                if (auto descriptor = font_descriptor(doc, font)) embedded_font(doc, *descriptor);
            for (const PageImage& image : page_images(doc, page))
                testing_support::value_or_error([&] { return image.decoded_image().to_pnm(); });
        }
    });
}

TEST(Corpus, EveryFileLoadsOrIsRefused) {
    const char* env = std::getenv("QUARVEL_CORPUS");
    const char* source = std::getenv("QUARVEL_SOURCE_DIR");
    const auto dir = env ? std::filesystem::path(env)
                         : std::filesystem::path(source ? source : ".") / ".." / "shared" / "corpus";
    std::ifstream manifest(dir / "manifest.tsv");
    if (!manifest) GTEST_SKIP() << "corpus not available";
    std::size_t loaded = 0;
    std::string line;
    for (std::getline(manifest, line); std::getline(manifest, line);) {
        const std::string file = line.substr(0, line.find('\t'));
        SCOPED_TRACE(file);
        try {
            std::ostringstream data;
            data << std::ifstream(dir / file, std::ios::binary).rdbuf();
            Document doc = Document::parse(data.str());
            ++loaded;
            dump_objects(doc);
            read_resources(doc);
            text(doc);
        } catch (const PdfError&) {
            // Refusals are fine here; which ones is for the Python corpus tests.
        }
    }
    EXPECT_GT(loaded, 100u);
}

}  // namespace
}  // namespace quarvel
