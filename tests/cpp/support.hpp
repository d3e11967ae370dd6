// Shared by the C++ tests: the PDF fixtures written by tests/make_fixtures.py, error texts, traces.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "document.hpp"
#include "error.hpp"
#include "parser.hpp"
#include "trace.hpp"

namespace quarvel::testing_support {

inline std::string fixture_path(const std::string& name) {
    const char* dir = std::getenv("QUARVEL_FIXTURE_DIR");
#ifdef QUARVEL_DEFAULT_FIXTURE_DIR
    if (!dir) dir = QUARVEL_DEFAULT_FIXTURE_DIR;
#endif
    if (!dir) throw std::runtime_error("QUARVEL_FIXTURE_DIR is not set; run the tests through ctest");
    return std::string(dir) + "/" + name + ".pdf";
}

inline std::string read_fixture(const std::string& name) {
    std::ifstream in(fixture_path(name), std::ios::binary);
    if (!in) throw std::runtime_error("missing fixture " + name + "; run the tests through ctest once");
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// "N 0 obj <<entries /Length n>> stream ... endobj " around `data`.
inline std::string stream_object(int number, std::string_view entries, std::string_view data) {
    return std::to_string(number) + " 0 obj << " + std::string(entries) + " /Length " + std::to_string(data.size()) +
           " >> stream\n" + std::string(data) + "\nendstream endobj ";
}

// A document made of indirect objects given back to back ("1 0 obj ... endobj 2 0 obj ..."),
// in any order, with no file around them; `trailer` entries are set as given.
inline Document document_from_objects(std::string_view source, std::vector<Dictionary::Entry> trailer = {
                                                                     {"Root", Object(ObjectId{1, 0})}}) {
    Parser parser(source);
    std::vector<ObjectTable::Entry> entries;
    for (parser.lexer().skip_ws_and_comments(); parser.pos() < source.size(); parser.lexer().skip_ws_and_comments())
        entries.push_back(parser.parse_indirect_object());
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    Document doc;
    doc.objects = ObjectTable(std::move(entries));
    doc.trailer = Dictionary(std::move(trailer));
    return doc;
}

// The string `run` returns, or the text of its PdfError.
template <class F>
std::string value_or_error(F&& run) {
    try {
        return run();
    } catch (const PdfError& e) {
        return e.text();
    }
}

// The text of the PdfError that `run` throws, or "no error".
template <class F>
std::string error_of(F&& run) {
    return value_or_error([&] {
        run();
        return std::string("no error");
    });
}

// Records spans and events as lines: "target name field=value ...", "N field=value"
// for a field recorded later, "exit N".
class TraceRecorder : public trace::Subscriber {
public:
    std::vector<std::string> lines;

    void event(trace::Level, std::string_view target, std::string_view message,
               std::span<const trace::Field> fields) override {
        lines.push_back(describe(target, message, fields));
    }
    std::uint64_t enter_span(trace::Level, std::string_view target, std::string_view name,
                             std::span<const trace::Field> fields) override {
        lines.push_back(describe(target, name, fields));
        return lines.size();
    }
    void record(std::uint64_t span, const trace::Field& field) override {
        lines.push_back(std::to_string(span) + text(field));
    }
    void exit_span(std::uint64_t span) override { lines.push_back("exit " + std::to_string(span)); }

    bool saw(std::string_view prefix) const {
        for (const std::string& line : lines)
            if (line.find(prefix) != std::string::npos) return true;
        return false;
    }

private:
    static std::string text(const trace::Field& field) {
        std::string out(" ");  // appended piecewise: g++ 12 warns falsely (-Wrestrict) on " " + string
        out.append(field.name);
        if (field.type == trace::Field::Type::Number) out.append("=").append(std::to_string(field.number));
        if (field.type == trace::Field::Type::Text) out.append("=").append(field.text);
        return out;
    }
    static std::string describe(std::string_view target, std::string_view name, std::span<const trace::Field> fields) {
        std::string line(target);
        line.append(" ").append(name);
        for (const trace::Field& field : fields) line += text(field);
        return line;
    }
};

}  // namespace quarvel::testing_support
