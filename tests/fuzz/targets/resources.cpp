// Fonts and images of every page: font descriptors and embedded programs, image
// listing through form XObjects, and image decoding to samples and PNM.
#include "font.hpp"
#include "fuzz_target.hpp"
#include "image.hpp"

QUARVEL_FUZZ_TARGET(resources) {
    using namespace quarvel;
    const Document document = Document::parse(data);
    for (const PageRecord& page : document.pages()) {
        fuzz::refusable([&] {
            for (const PageFont& font : page_fonts(document, page)) {
                font.encoding();
                fuzz::refusable([&] {
                    if (const auto descriptor = font_descriptor(document, font)) {
                        descriptor->metric("Ascent");
                        if (const auto program = embedded_font(document, *descriptor)) program->stream->decoded_data();
                    }
                });
            }
        });
        fuzz::refusable([&] {
            for (const PageImage& image : page_images(document, page)) {
                image.width(), image.height(), image.bits_per_component(), image.color_space(), image.resource_path();
                fuzz::refusable([&] {
                    image.filters();
                    const DecodedImage decoded = image.decoded_image();
                    QUARVEL_FUZZ_CHECK(decoded.samples.size() == decoded.width * decoded.height * decoded.components());
                    const std::string pnm = decoded.to_pnm();
                    QUARVEL_FUZZ_CHECK(pnm.size() > decoded.samples.size() && pnm.ends_with(decoded.samples));
                });
            }
        });
    }
}
