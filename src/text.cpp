#include "text.hpp"

#include <algorithm>

#include "content.hpp"
#include "document.hpp"
#include "filter.hpp"
#include "trace.hpp"
#include "unicode.hpp"

namespace quarvel {

void push_decoded_text(std::string& out, const ToUnicodeCMap* cmap, std::string_view bytes) {
    push_decoded_texts(out, cmap, std::span<const std::string_view>(&bytes, 1));
}

void push_decoded_texts(std::string& out, const ToUnicodeCMap* cmap, std::span<const std::string_view> parts) {
    if (cmap)
        cmap->decode_each_into(out, parts);
    else
        for (std::string_view bytes : parts) append_text_string(out, bytes);
}

namespace {

const Dictionary* font_dictionary(const Document& doc, const Dictionary* resources) {
    if (!resources) return nullptr;
    const Object* fonts = resources->get("Font");
    if (!fonts) return nullptr;
    const Dictionary* dictionary = doc.resolve(*fonts).as_dictionary_like();
    if (!dictionary) throw PdfError::type_mismatch("page /Resources /Font", "dictionary");
    return dictionary;
}

const Dictionary* page_resources(const Document& doc, const PageRecord& page) {
    return doc.page_resource_dictionary(*page.dictionary, page.inherited.resources);
}

}  // namespace

const Dictionary* resource_font(const Document& doc, const Dictionary* resources, std::string_view font_name) {
    const Dictionary* fonts = font_dictionary(doc, resources);
    if (!fonts) return nullptr;
    const Object* entry = fonts->get(font_name);
    if (!entry) return nullptr;
    const Dictionary* font = doc.resolve(*entry).as_dictionary_like();
    if (!font) throw PdfError::type_mismatch("font resource", "dictionary");
    return font;
}

std::optional<ToUnicodeCMap> font_dictionary_to_unicode(const Document& doc, const Dictionary& font) {
    const Object* to_unicode = font.get("ToUnicode");
    if (!to_unicode) return std::nullopt;
    const Stream* stream = doc.resolve(*to_unicode).as_stream();
    if (!stream) throw PdfError::type_mismatch("font /ToUnicode", "stream");
    std::string owned;
    return ToUnicodeCMap::parse(stream->decoded_data_cow(owned));
}

std::string_view page_content(const Document& doc, const PageRecord& page, std::string& joined) {
    const Object* contents = page.dictionary->get("Contents");
    if (!contents) return {};
    std::vector<const Stream*> streams;
    doc.collect_content_streams(*contents, streams);
    if (streams.size() == 1) return streams[0]->decoded_data_cow(joined);
    // /Contents may list one stream many times: the page as a whole is held to the
    // limit each stream is.
    const std::size_t limit = decoded_size_limit();
    std::string owned;
    for (const Stream* stream : streams) {
        const std::string_view part = stream->decoded_data_cow(owned);
        if (part.size() > limit - joined.size()) {
            const std::vector<std::string_view> chain = stream->filters();
            throw_decoded_too_large(chain.empty() ? std::string_view("Contents") : chain.back());
        }
        joined.append(part);
    }
    return joined;
}

std::string page_text_with_cache(const Document& doc, const PageRecord& page, FontCache& cache) {
    std::string joined;
    const std::string_view bytes = page_content(doc, page, joined);

    std::string out;
    const ToUnicodeCMap* current = nullptr;
    // The first fonts selected on this page: Tf repeats often within one page. Kept
    // short, as each Tf scans it; later fonts go through the cache.
    constexpr std::size_t kRemembered = 16;
    std::vector<std::pair<std::string, const ToUnicodeCMap*>> selected;
    // A font error fails the page, but a syntax error later in the stream is reported first.
    std::optional<PdfError> font_error;
    auto select_font = [&](std::string_view name) {
        for (const auto& [known, cmap] : selected) {
            if (known == name) {
                current = cmap;
                return;
            }
        }
        const Dictionary* font = resource_font(doc, page_resources(doc, page), name);
        auto it = cache.find(font);
        if (it == cache.end())
            it = cache.emplace(font, font ? font_dictionary_to_unicode(doc, *font) : std::nullopt).first;
        current = it->second ? &*it->second : nullptr;
        if (selected.size() < kRemembered) selected.emplace_back(name, current);
    };

    for_each_text_operation(bytes, [&](std::string_view op, const TextOperands& operands) {
        if (font_error || op.empty() || op.size() > 2) return;
        const char c0 = op[0], c1 = op.size() == 2 ? op[1] : '\0';
        if (c0 == 'T') {
            if (c1 == 'f') {
                const std::optional<std::string_view> name = operands.first_name();
                if (!name) return;
                try {
                    select_font(*name);
                } catch (PdfError& e) {
                    font_error = std::move(e);
                }
            } else if (c1 == 'j') {
                if (const auto s = operands.last_string()) push_decoded_text(out, current, *s);
            } else if (c1 == 'J') {
                push_decoded_texts(out, current, operands.last_array_strings());
            } else if (c1 == '*') {
                if (!out.empty()) out.push_back('\n');
            }
        } else if ((c0 == '\'' || c0 == '"') && c1 == '\0') {
            if (!out.empty()) out.push_back('\n');
            if (const auto s = operands.last_string()) push_decoded_text(out, current, *s);
        }
    });
    if (font_error) throw std::move(*font_error);
    return out;
}

std::string page_text(const Document& doc, const PageRecord& page) {
    FontCache cache;
    return page_text_with_cache(doc, page, cache);
}

std::vector<std::string> page_texts(const Document& doc) { return page_texts(doc, doc.pages()); }

std::vector<std::string> page_texts(const Document& doc, const std::vector<PageRecord>& pages) {
    FontCache cache;
    std::vector<std::string> texts;
    texts.reserve(pages.size());
    for (const PageRecord& page : pages) texts.push_back(page_text_with_cache(doc, page, cache));
    return texts;
}

std::string text(const Document& doc) {
    QUARVEL_INFO_SPAN(span, trace::kDocumentTarget, "text", {"pages"});
    const std::vector<PageRecord> list = doc.pages();
    span.record({"pages", static_cast<std::uint64_t>(list.size())});
    FontCache cache;
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) out.push_back('\n');
        out += page_text_with_cache(doc, list[i], cache);
    }
    return out;
}

std::optional<std::string_view> extract_references_section(std::string_view text) {
    // Lowercasing only ASCII keeps every byte offset; no other character
    // lowercases to a letter of the heading words, so matches are the same.
    std::string lower(text);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    std::size_t start = std::string::npos;
    for (std::string_view heading : {std::string_view("references"), std::string_view("bibliography"),
                                     std::string_view("\xE5\x8F\x82\xE8\x80\x83\xE6\x96\x87\xE7\x8C\xAE")}) {
        const std::size_t at = lower.rfind(heading);
        if (at != std::string::npos && (start == std::string::npos || at > start)) start = at;
    }
    if (start == std::string::npos) return std::nullopt;
    const std::string_view section = text.substr(start);
    if (trim_white_space(section).size() < 21) return std::nullopt;
    return section;
}

std::optional<std::string> references_text(const Document& doc) {
    const std::string all = text(doc);
    if (auto section = extract_references_section(all)) return std::string(*section);
    return std::nullopt;
}

}  // namespace quarvel
