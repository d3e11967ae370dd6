// How far page text is from its floor: inflating every page content stream once, and
// inflating it plus one tokenising pass over its bytes. Over the files bench/compare.py
// reads (every clean corpus file), or over the files named on the command line.
//
//   quarvel_floor [--repeat N]                 the table, best of N runs per file
//   quarvel_floor --run TASK [FILE...]         one run of TASK, for profilers
//
// TASK is one of load, inflate, floor, text (load + page_texts), pages (load, then
// page_text of each page found through the page list on its own, as the Python
// method does), layout and words (the same with page_layout_text and page_words).
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "document.hpp"
#include "error.hpp"
#include "layout.hpp"
#include "lexer.hpp"
#include "text.hpp"

namespace {

using quarvel::Document;
using quarvel::PageRecord;

std::string read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::vector<std::string> corpus_files() {
    const char* env = std::getenv("QUARVEL_CORPUS");
    const std::filesystem::path dir =
        env ? std::filesystem::path(env) : std::filesystem::path(QUARVEL_SOURCE_DIR) / ".." / "shared" / "corpus";
    std::ifstream manifest(dir / "manifest.tsv");
    std::vector<std::string> files;
    std::string line;
    for (std::getline(manifest, line); std::getline(manifest, line);) {
        std::vector<std::string> fields;
        std::istringstream row(line);
        for (std::string field; std::getline(row, field, '\t');) fields.push_back(field);
        if (fields.size() > 6 && !fields[0].starts_with("broken/") && fields[6] == "no")
            files.push_back((dir / fields[0]).string());
    }
    return files;
}

// Keeps results observable, so that no work is optimised away.
std::size_t g_sink = 0;

void each_content_stream(const Document& doc, const std::function<void(std::string_view)>& use) {
    for (const PageRecord& page : doc.pages()) {
        const quarvel::Object* contents = page.dictionary->get("Contents");
        if (!contents) continue;
        std::vector<const quarvel::Stream*> streams;
        doc.collect_content_streams(*contents, streams);
        for (const quarvel::Stream* stream : streams) {
            std::string owned;
            use(stream->decoded_data_cow(owned));
        }
    }
}

// One pass of the tokenizer; a byte it cannot start a token with is stepped over.
std::size_t tokenise(std::string_view bytes) {
    quarvel::Lexer lexer(bytes);
    quarvel::Token token;
    std::size_t tokens = 0;
    for (;;) {
        try {
            if (!lexer.next_token_or_end(token)) return tokens;
            ++tokens;
        } catch (const quarvel::PdfError&) {
            lexer.set_pos(lexer.pos() + 1);
            if (lexer.pos() >= bytes.size()) return tokens;
        }
    }
}

template <class Page>
void each_page_on_its_own(const Document& doc, Page&& page) {
    const std::size_t count = doc.pages().size();
    for (std::size_t i = 0; i < count; ++i) page(*doc.page_at(i));
}

// Tasks that take a loaded document; `load` is the loading alone.
const std::vector<std::pair<std::string, std::function<void(const Document&)>>>& tasks() {
    static const std::vector<std::pair<std::string, std::function<void(const Document&)>>> list = {
        {"load", [](const Document&) {}},
        {"inflate",
         [](const Document& doc) { each_content_stream(doc, [](std::string_view s) { g_sink += s.size(); }); }},
        {"floor",
         [](const Document& doc) { each_content_stream(doc, [](std::string_view s) { g_sink += tokenise(s); }); }},
        {"text", [](const Document& doc) { g_sink += quarvel::page_texts(doc).size(); }},
        {"pages",
         [](const Document& doc) {
             each_page_on_its_own(doc, [&](const PageRecord& p) { g_sink += quarvel::page_text(doc, p).size(); });
         }},
        {"layout",
         [](const Document& doc) {
             each_page_on_its_own(doc,
                                  [&](const PageRecord& p) { g_sink += quarvel::page_layout_text(doc, p).size(); });
         }},
        {"words",
         [](const Document& doc) {
             each_page_on_its_own(doc,
                                  [&](const PageRecord& p) { g_sink += quarvel::page_words(doc, p).words.size(); });
         }},
    };
    return list;
}

// Seconds of one run of `task` over `data`, loading included; negative when refused.
double run_once(const std::string& data, const std::function<void(const Document&)>& task, bool loaded_only) {
    const auto start = std::chrono::steady_clock::now();
    try {
        const Document doc = Document::parse(data);
        auto loaded = std::chrono::steady_clock::now();
        task(doc);
        const auto end = std::chrono::steady_clock::now();
        return std::chrono::duration<double>(end - (loaded_only ? loaded : start)).count();
    } catch (const quarvel::PdfError&) {
        return -1;
    }
}

int table(int repeat) {
    const std::vector<std::string> files = corpus_files();
    std::vector<std::string> data;
    for (const std::string& f : files) data.push_back(read_file(f));
    std::printf("%zu files, best of %d runs each; seconds summed over the files every task read\n", files.size(),
                repeat);
    // Loading is timed within each task; the tasks below it are timed after loading.
    std::vector<double> totals;
    for (const auto& [name, task] : tasks()) {
        double total = 0;
        std::size_t ok = 0;
        for (const std::string& bytes : data) {
            double best = -1;
            for (int r = 0; r < repeat; ++r) {
                const double t = run_once(bytes, task, name != "load");
                if (t >= 0 && (best < 0 || t < best)) best = t;
            }
            if (best >= 0) total += best, ++ok;
        }
        totals.push_back(total);
        std::printf("%-8s %4zu files %9.3f s\n", name.c_str(), ok, total);
    }
    const double load = totals[0], inflate = totals[1], floor = totals[2], text = totals[3];
    std::printf("\nfloor / inflate          %6.2f\n", floor / inflate);
    std::printf("text / floor             %6.2f   (page_texts of a loaded document)\n", text / floor);
    std::printf("(load + text) / floor    %6.2f   (what bench/compare.py times)\n", (load + text) / floor);
    std::printf("(load + text) / (load + floor) %6.2f   (both with the document loaded)\n",
                (load + text) / (load + floor));
    std::printf("pages / text             %6.2f   (page_text page by page against page_texts)\n", totals[4] / text);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() >= 2 && args[0] == "--run") {
        for (const auto& [name, task] : tasks()) {
            if (name != args[1]) continue;
            std::vector<std::string> files(args.begin() + 2, args.end());
            if (files.empty()) files = corpus_files();
            for (const std::string& f : files) run_once(read_file(f), task, false);
            std::printf("%zu\n", g_sink);
            return 0;
        }
        std::fprintf(stderr, "unknown task %s\n", args[1].c_str());
        return 2;
    }
    int repeat = 3;
    if (args.size() == 2 && args[0] == "--repeat") repeat = std::max(1, std::atoi(args[1].c_str()));
    return table(repeat);
}
