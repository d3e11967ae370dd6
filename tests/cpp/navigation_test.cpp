#include <gtest/gtest.h>

#include "destination.hpp"
#include "inspect.hpp"
#include "link.hpp"
#include "name_tree.hpp"
#include "outline.hpp"
#include "page_label.hpp"
#include "support.hpp"

namespace quarvel {
namespace {

using testing_support::document_from_objects;
using testing_support::value_or_error;
using Case = std::pair<std::string, std::string>;  // objects, rendering or error text

template <class Render>
void expect_all(std::initializer_list<Case> cases, Render render) {
    for (const auto& [source, expected] : cases)
        EXPECT_EQ(value_or_error([&] { return render(document_from_objects(source)); }), expected) << source;
}

std::string numbered(const std::string& prefix, int first, int last, const std::string& body) {
    std::string out;
    for (int n = first; n < last; ++n) {
        std::string text = body;
        for (std::size_t at; (at = text.find('#')) != std::string::npos;) text.replace(at, 1, std::to_string(n + 1));
        out += std::to_string(n) + " 0 obj " + text + " endobj ";
    }
    return prefix + out;
}

template <class Entries>
std::string entries_text(const Entries& entries) {
    std::string out;
    for (const auto& [key, value] : entries) {
        if constexpr (std::is_integral_v<std::decay_t<decltype(key)>>)
            out += std::to_string(key);
        else
            out += key;
        out.append("=").append(object_to_text(*value)).append(" ");
    }
    return out;
}

std::string name_tree_at_2(const Document& doc) {
    NameTreeEntries out;
    VisitedObjects visited;
    collect_name_tree_entries(doc, Object(ObjectId{2, 0}), "name tree root", out, visited);
    return entries_text(out);
}

TEST(NameTree, FlattensSortedOrRefuses) {
    expect_all({
        {"2 0 obj << /Names [(b) 2 /a 1 (c) 3 0 R] /Limits [(z) (z)] >> endobj 3 0 obj (three) endobj",
         "a=1 b=2 c=(three) "},
        // Depth first; the last value of a key wins.
        {"2 0 obj << /Names [(a) 1] /Kids [3 0 R << /Names [(a) 3 (b) 4] >>] >> endobj "
         "3 0 obj << /Names [(a) 2 (c) 5] >> endobj", "a=3 b=4 c=5 "},
        {"2 0 obj << >> endobj", ""},
        {"2 0 obj << /Names [(a) 1 (b)] >> endobj",
         "type mismatch in name tree /Names: expected even-length key/value array"},
        {"2 0 obj << /Names 5 >> endobj", "type mismatch in name tree /Names: expected array"},
        {"2 0 obj << /Names [1 2] >> endobj", "type mismatch in name tree key: expected string"},
        {"2 0 obj << /Kids 3 >> endobj", "type mismatch in name tree /Kids: expected array"},
        {"2 0 obj << /Kids [5] >> endobj", "type mismatch in name tree kid: expected dictionary"},
        {"2 0 obj [1] endobj", "type mismatch in name tree root: expected dictionary"},
        {"2 0 obj << /Kids [3 0 R] >> endobj 3 0 obj << /Kids [2 0 R] >> endobj",
         "name tree contains a cycle at object 2 0"},
        {"2 0 obj << /Kids [3 0 R 4 0 R] >> endobj 3 0 obj << /Kids [5 0 R] >> endobj "
         "4 0 obj << /Kids [5 0 R] >> endobj 5 0 obj << >> endobj", "name tree contains a cycle at object 5 0"},
        // Arrays shared by inline nodes would multiply the walk at every level.
        {"2 0 obj << /Kids 3 0 R >> endobj 3 0 obj [<< /Kids 4 0 R >> << /Kids 4 0 R >>] endobj 4 0 obj [] endobj",
         "name tree contains a cycle at object 4 0"},
        {"2 0 obj << /Kids [9 0 R] >> endobj", "dangling reference to object 9 0"},
        {"2 0 obj << /Names [(a) 9 0 R] >> endobj", "dangling reference to object 9 0"},
    }, name_tree_at_2);

    expect_all({
        {"2 0 obj << /Limits [0 1] /Nums [5 (e) -1 (m) 3 (c)] >> endobj", "-1=(m) 3=(c) 5=(e) "},
        {"2 0 obj << /Nums [1.0 (a)] >> endobj", "type mismatch in number tree key: expected integer"},
        {"2 0 obj << /Nums [1] >> endobj", "type mismatch in number tree /Nums: expected even-length key/value array"},
        {"2 0 obj << /Kids [2 0 R] >> endobj", "number tree contains a cycle at object 2 0"},
        {"2 0 obj << /Kids [1] >> endobj", "type mismatch in number tree kid: expected dictionary"},
    }, [](const Document& doc) {
        NumberTreeEntries out;
        VisitedObjects visited;
        collect_number_tree(doc, Object(ObjectId{2, 0}), "number tree root", out, visited);
        return entries_text(out);
    });
}

TEST(NameTree, MillionEntries) {
    std::string source = "2 0 obj << /Names [";
    for (int i = 999999; i >= 0; --i) source += "(k" + std::to_string(i) + ") " + std::to_string(i % 7) + " ";
    const Document doc = document_from_objects(source + "] >> endobj");
    NameTreeEntries out;
    VisitedObjects visited;
    collect_name_tree_entries(doc, Object(ObjectId{2, 0}), "root", out, visited);
    ASSERT_EQ(out.size(), 1000000u);
    EXPECT_EQ(out.front().first, "k0");
    EXPECT_EQ(out.back().first, "k999999");
}

TEST(Destinations, LinkTargets) {
    expect_all({
        {"2 0 obj << /A << /S /URI /URI (http://a.b/\xE9) >> >> endobj", "uri http://a.b/\xC3\xA9"},
        {"2 0 obj << /A 3 0 R /Dest /X >> endobj 3 0 obj << /S /URI /URI (u) /Length 1 >> stream\nx\nendstream endobj",
         "uri u"},
        {"2 0 obj << /A 5 >> endobj", "type mismatch in link annotation /A: expected dictionary"},
        {"2 0 obj << /A << >> >> endobj", "action << >>"},
        {"2 0 obj << /A << /S /URI >> >> endobj", "missing required entry /URI in URI action"},
        {"2 0 obj << /A << /S /URI /URI 3 0 R >> >> endobj 3 0 obj (u) endobj",
         "type mismatch in URI action /URI: expected string"},
        {"2 0 obj << /A << /S /GoTo /D (chap1) >> >> endobj", "named chap1"},
        {"2 0 obj << /A << /S /GoTo >> >> endobj", "missing required entry /D in GoTo action"},
        {"2 0 obj << /A << /S /GoTo /D 3 0 R >> >> endobj 3 0 obj [4 0 R /Fit] endobj", "destination [4 0 R /Fit]"},
        {"2 0 obj << /A << /S /Launch /F (a.exe) >> >> endobj", "action << /F (a.exe) /S /Launch >>"},
        {"2 0 obj << /A << /S (URI) /URI (u) >> >> endobj", "action << /S (URI) /URI (u) >>"},
        {"2 0 obj << /Dest /Chap#20One >> endobj", "named Chap One"},
        {"2 0 obj << /Dest 9 0 R >> endobj", "dangling reference to object 9 0"},
        {"2 0 obj << >> endobj", "none"},
    }, [](const Document& doc) {
        const std::optional<LinkTarget> target = link_target(doc, *doc.find({2, 0})->as_dictionary());
        return target ? std::string(link_target_kind(*target)) + " " + link_target_text(*target) : "none";
    });
}

TEST(Destinations, NamedDestinations) {
    const auto render = [](const Document& doc) { return entries_text(named_destinations(doc)); };
    expect_all({
        {"1 0 obj << /Dests 2 0 R /Names << /Dests << /Names [(b) [3 0 R /XYZ] (a) 4 0 R] >> >> >> endobj "
         "2 0 obj << /a [5 0 R /Fit] /c << /D [6 0 R /Fit] >> /s 7 0 R >> endobj 4 0 obj << /D 8 0 R >> endobj "
         "7 0 obj << /Length 1 >> stream\nx\nendstream endobj 8 0 obj [9 0 R /FitH 5] endobj",
         "a=[9 0 R /FitH 5] b=[3 0 R /XYZ] c=[6 0 R /Fit] s=<< /Length 1 >>\nstream\n<1 encoded bytes: x>\nendstream "},
        {"1 0 obj << /Dests << /a << /Page 1 >> >> >> endobj",
         "missing required entry /D in catalog /Dests value"},
        {"1 0 obj << /Names << /Dests << /Names [(a) << >>] >> >> >> endobj",
         "missing required entry /D in name tree destination"},
        {"1 0 obj << /Dests 5 >> endobj", "type mismatch in catalog /Dests: expected dictionary"},
        {"1 0 obj << /Names [] >> endobj", "type mismatch in catalog /Names: expected dictionary"},
        {"1 0 obj << /Names << /Dests 9 0 R >> >> endobj", "dangling reference to object 9 0"},
        {"1 0 obj << >> endobj", ""},
    }, render);
}

std::string outline_text(const Document& doc) {
    std::string out;
    for (const OutlineItem& item : outlines(doc)) {
        out += std::string(item.depth, '>') + item.title + "[" + item.id.to_string() + "]";
        if (item.destination) out += " d=" + object_to_text(*item.destination);
        if (item.action) out += " a=" + dictionary_to_text(*item.action);
        out += ";";
    }
    return out;
}

TEST(Outline, WalksFirstAndNextOrRefuses) {
    const std::string root = "1 0 obj << /Outlines 2 0 R >> endobj 2 0 obj << /First 3 0 R >> endobj ";
    expect_all({
        {"1 0 obj << >> endobj", ""},
        {"1 0 obj << /Outlines << /Count 0 >> >> endobj", ""},
        {root + "3 0 obj << /Title (A) /First 4 0 R /Next 6 0 R /Dest 9 0 R >> endobj "
                "4 0 obj << /Title 5 0 R /Next 7 0 R >> endobj 5 0 obj <FEFF0041002E0031> endobj "
                "6 0 obj << /Title (B) /A 8 0 R >> endobj 7 0 obj << /Title () >> endobj "
                "8 0 obj << /S /GoTo /D (x) /Length 1 >> stream\nx\nendstream endobj",
         "A[3 0] d=9 0 R;>A.1[4 0];>[7 0];B[6 0] a=<< /D (x) /Length 1 /S /GoTo >>;"},
        {root + "3 0 obj << /Title 9 0 R >> endobj", "dangling reference to object 9 0"},
        {root + "3 0 obj << /Title 4 0 R >> endobj 4 0 obj 5 endobj",
         "type mismatch in outline item /Title: expected string"},
        {root + "3 0 obj << >> endobj", "missing required entry /Title in outline item"},
        {root + "3 0 obj << /Title (a) /Next 4 0 R >> endobj 4 0 obj << /Title (b) /Next 3 0 R >> endobj",
         "outline tree contains a cycle at object 3 0"},
        {root + "3 0 obj << /Title (a) /First 4 0 R /Next 4 0 R >> endobj 4 0 obj << /Title (b) >> endobj",
         "outline tree contains a cycle at object 4 0"},
        // Children are read before the item's /Next is checked.
        {root + "3 0 obj << /Title (a) /First 4 0 R /Next 5 >> endobj 4 0 obj << >> endobj",
         "missing required entry /Title in outline item"},
        {root + "3 0 obj << /Title (a) /Next 5 >> endobj", "type mismatch in outline item /Next: expected indirect reference"},
        {root + "3 0 obj << /Title (a) /First << >> >> endobj",
         "type mismatch in outline item /First: expected indirect reference"},
        {root + "3 0 obj << /Title (a) /A 5 >> endobj", "type mismatch in outline item /A: expected dictionary"},
        {root + "3 0 obj [] endobj", "type mismatch in outline item: expected dictionary"},
        {"1 0 obj << /Outlines << /First << /Title (a) >> >> >> endobj",
         "type mismatch in outline root /First: expected indirect reference"},
        {"1 0 obj << /Outlines 5 >> endobj", "type mismatch in catalog /Outlines: expected dictionary"},
    }, outline_text);
}

TEST(Outline, DepthIsBounded) {
    // A chain of /First links: items 2 to `end`, the last at depth end - 2.
    const auto chain = [](int end) {
        const std::string source = numbered("1 0 obj << /Outlines << /First 2 0 R >> >> endobj ", 2, end,
                                            "<< /Title (t) /First # 0 R >>");
        return document_from_objects(source + std::to_string(end) + " 0 obj << /Title (end) >> endobj");
    };
    const std::vector<OutlineItem> items = outlines(chain(1026));
    ASSERT_EQ(items.size(), 1025u);
    EXPECT_EQ(items.back().depth, 1024u);
    for (const int end : {1027, 100002})
        EXPECT_EQ(testing_support::error_of([&] { outlines(chain(end)); }),
                  "type mismatch in outline item: expected outline of bounded depth");
}

TEST(PageLabel, LabelsEveryPage) {
    const auto labelled = [](const std::string& labels, long long count, const std::string& extra = "") {
        return "1 0 obj << /Pages 2 0 R /PageLabels " + labels + " >> endobj 2 0 obj << /Count " +
               std::to_string(count) + " >> endobj " + extra;
    };
    expect_all({
        {labelled("<< /Nums [] >>", 3), "1,2,3,"},
        {labelled("<< /Nums [4 << /S /D >> 0 << /S /r >>] >>", 6), "i,ii,iii,iv,1,2,"},
        {labelled("<< /Nums [2 << /S /A >>] >>", 4), "1,2,A,B,"},
        {labelled("<< /Nums [0 << /P (A-) /S /D /St 5 >>] >>", 2), "A-5,A-6,"},
        {labelled("<< /Nums [0 << /P (Cover) >>] >>", 2), "Cover,Cover,"},
        {labelled("<< /Kids [3 0 R] >>", 3, "3 0 obj << /Nums [0 4 0 R] >> endobj 4 0 obj << /S /a /St 26 >> endobj"),
         "z,aa,ab,"},
        {labelled("<< /Nums [0 << /S /R /St 3999 >>] >>", 2), "MMMCMXCIX,MMMM,"},
        {labelled("<< /Nums [0 << /S /D /St 9223372036854775807 >>] >>", 2),
         "9223372036854775807,9223372036854775808,"},
        {labelled("<< /Nums [0 << /St 0 >>] >>", 1), "type mismatch in page label /St: expected positive integer"},
        {labelled("<< /Nums [0 << /St 1.0 >>] >>", 1), "type mismatch in page label /St: expected positive integer"},
        {labelled("<< /Nums [0 << /S /Roman >>] >>", 1),
         "type mismatch in page label /S: expected /D, /R, /r, /A, or /a"},
        {labelled("<< /Nums [0 << /S (D) >>] >>", 1), "type mismatch in page label /S: expected name"},
        {labelled("<< /Nums [0 << /P /x >>] >>", 1), "type mismatch in page label /P: expected string"},
        {labelled("<< /Nums [-1 << >>] >>", 1), "type mismatch in page label index: expected non-negative integer"},
        {labelled("<< /Nums [0 5] >>", 1), "type mismatch in page label value: expected dictionary"},
        {labelled("<< /Kids [5] >>", 1), "type mismatch in number tree kid: expected dictionary"},
        {labelled("<< >>", 1000000000000),
         "type mismatch in page tree root /Count: expected page count of bounded size"},
    }, [](const Document& doc) {
        std::string out;
        for (const std::string& label : page_labels(doc)) out += label + ",";
        return out;
    });

    const std::pair<std::uint64_t, std::string> lettered[] = {
        {0, ""}, {1, "A"}, {26, "Z"}, {27, "AA"}, {28, "AB"}, {52, "AZ"}, {53, "BA"}, {702, "ZZ"}, {703, "AAA"}};
    for (const auto& [n, text] : lettered) EXPECT_EQ(letters(n, 'A'), text);
    const PageLabelRule roman{"", 0, 1, PageLabelStyle::LowerRoman};
    EXPECT_EQ(roman.label_for_page(1993), "mcmxciv");
    EXPECT_EQ(roman.label_for_page(4999), "mmmmm");
    EXPECT_EQ(roman.label_for_page(99999), "100000");  // past any real numbering: decimal
}

TEST(Link, AnnotationsAndLinks) {
    const auto page = [](const std::string& annots, const std::string& extra = "") {
        return "1 0 obj << /Pages 2 0 R >> endobj 2 0 obj << /Type /Pages /Kids [3 0 R] /Count 1 >> endobj "
               "3 0 obj << /Type /Page " + annots + " >> endobj " + extra;
    };
    expect_all({
        {page(""), "/"},
        {page("/Annots 4 0 R", "4 0 obj [5 0 R << /Subtype /Text /Contents (\xE9) /Rect [0 0 1 2.5] >>] endobj "
                               "5 0 obj << /Subtype /Link /Rect [10 20 5 6] /A << /S /URI /URI (u) >> >> endobj"),
         "5 0 R Link [10 20 5 6] -;- Text [0 0 1 2.5] \xC3\xA9;/5 0 R [10 20 5 6] uri u;"},
        {page("/Annots [<< /Subtype /Link /A << /S /Launch >> /Rect [1 2 3] >> << /Subtype /Link /Dest /N /Rect 4 0 R >> "
              "<< /Subtype /Link >> << /Subtype /link >> << /Subtype 5 /Contents 7 >>]", "4 0 obj [1 2 3 4] endobj"),
         "- Link - -;- Link - -;- Link - -;- link - -;- - - -;/- - action << /S /Launch >>;- - named N;- - - -;"},
        {page("/Annots 4 0 R", "4 0 obj << >> endobj"), "type mismatch in page /Annots: expected array"},
        {page("/Annots [9 0 R]"), "dangling reference to object 9 0"},
        {page("/Annots [null]"), "type mismatch in page /Annots item: expected dictionary"},
        {page("/Annots [<< /Subtype /Link /A 7 >>]"), "type mismatch in link annotation /A: expected dictionary"},
    }, [](const Document& doc) {
        const PageRecord page = doc.pages().at(0);
        const auto id = [](const std::optional<ObjectId>& id) { return id ? id->reference_string() : "-"; };
        const auto rect = [](const Dictionary& d) { return d.contains("Rect") && annotation_rect(d) ? object_to_text(*d.get("Rect")) : "-"; };
        std::string out;
        for (const PageAnnotation& a : page_annotations(doc, page))
            out += id(a.id) + " " + annotation_subtype(*a.dictionary).value_or("-") + " " + rect(*a.dictionary) + " " +
                   annotation_contents(*a.dictionary).value_or("-") + ";";
        out += "/";
        for (const Link& link : page_links(doc, page))
            out += id(link.annotation_id) + " " + rect(*link.dictionary) + " " +
                   (link.target ? std::string(link_target_kind(*link.target)) + " " + link_target_text(*link.target)
                                : "- -") + ";";
        return out;
    });
}

}  // namespace
}  // namespace quarvel
