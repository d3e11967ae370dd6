#include "layout.hpp"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <unordered_map>

#include "content.hpp"
#include "error.hpp"
#include "filter.hpp"
#include "font_metrics.hpp"
#include "text.hpp"
#include "unicode.hpp"

namespace quarvel {

namespace {

// Break rules, in units of the larger font size of the two glyphs compared. The word
// gap was tuned on the corpus against pdftotext (0.1 to 0.25 tried; 0.15 is best):
// interword spaces are 0.25 em and more, kerning and tracking stay under 0.1 em.
constexpr double kWordGap = 0.15;
// A baseline shift beyond this starts a line; sub- and superscripts stay below it.
constexpr double kLineShift = 0.5;
// A glyph starting this far left of its predecessor's origin starts a line.
constexpr double kJumpBack = 0.5;
// An empty line marks a gap between baselines above (1 + this) line heights.
constexpr double kParagraphGap = 2.0;
// Directions whose cosine is below this are different lines (about 8 degrees).
constexpr double kSameDirection = 0.99;
// Operations run per page, forms included, before the page is refused: each form
// drawn costs its operations and one more. Beyond the page's own, generous for real
// files, and a bound for files that draw a large form many times or whose forms share
// sub-forms in a tree of exponential size.
constexpr std::size_t kFormsPerObject = 4, kFormSlack = 65536;
// Font selections remembered per content stream, searched linearly.
constexpr std::size_t kRecentFonts = 32;

struct Matrix {
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
};

// m then n, in PDF's row-vector convention.
Matrix operator*(const Matrix& m, const Matrix& n) {
    return {m.a * n.a + m.b * n.c, m.a * n.b + m.b * n.d,       m.c * n.a + m.d * n.c,
            m.c * n.b + m.d * n.d, m.e * n.a + m.f * n.c + n.e, m.e * n.b + m.f * n.d + n.f};
}

struct FontEntry {
    const Dictionary* dictionary = nullptr;  // null: no such font
    std::optional<ToUnicodeCMap> to_unicode;
    std::unique_ptr<LayoutFont> font;  // built when it first shows text
};

struct PlacedGlyph {
    const LayoutFont* font;
    std::uint32_t text_offset, text_size;
    double ox, oy;   // origin
    double dx, dy;   // unit baseline direction
    double advance;  // along the direction, in points
    double x0, top, x1, bottom;
    double size;
};

bool finite_all(std::initializer_list<double> values) {
    for (double v : values)
        if (!std::isfinite(v)) return false;
    return true;
}

// Exactly four direct numbers, normalised; anything else is no box.
bool box_of(const Object* value, double (&box)[4]) {
    const Array* array = value ? value->as_array() : nullptr;
    if (!array || array->size() != 4) return false;
    for (std::size_t i = 0; i < 4; ++i)
        if (!(*array)[i].as_number(box[i]) || !std::isfinite(box[i])) return false;
    if (box[0] > box[2]) std::swap(box[0], box[2]);
    if (box[1] > box[3]) std::swap(box[1], box[3]);
    return true;
}

const Object* effective(const PageRecord& page, const char* key, const Object* inherited) {
    const Object* own = page.dictionary->get(key);
    return own ? own : inherited;
}

// User space to the page as words are reported: origin at the crop box's top-left
// corner, y downwards. /Rotate is not applied, as PyMuPDF reports words too.
Matrix page_matrix(const PageRecord& page) {
    double box[4];
    if (!box_of(effective(page, "CropBox", page.inherited.crop_box), box) &&
        !box_of(effective(page, "MediaBox", page.inherited.media_box), box)) {
        box[0] = 0, box[1] = 0, box[2] = 612, box[3] = 792;  // US Letter, as viewers assume
    }
    return {1, 0, 0, -1, -box[0], box[3]};
}

}  // namespace

struct LayoutCache::State {
    std::map<const Dictionary*, FontEntry> fonts;
    std::map<const Stream*, LayoutOperations> forms;
};

LayoutCache::LayoutCache() : state_(std::make_unique<State>()) {}
LayoutCache::~LayoutCache() = default;

namespace {

bool is_break(char32_t c) { return c < 0x20 || is_unicode_white_space(c); }

// Reads one code point of valid UTF-8 (the decoders only write valid UTF-8).
char32_t next_code_point(std::string_view s, std::size_t& i) {
    const auto b = static_cast<unsigned char>(s[i]);
    std::size_t n = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
    n = std::min(n, s.size() - i);
    char32_t c = n == 1 ? b : b & (0xFF >> (n + 1));
    for (std::size_t k = 1; k < n; ++k) c = c << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    i += n;
    return c;
}

// Groups glyphs into words and lines, in content order.
class WordBuilder {
public:
    explicit WordBuilder(PageWords& out) : out_(out) {}

    void add(const PlacedGlyph& g) {
        const std::string_view text = g.font->text(g.text_offset, g.text_size);
        bool placed = false;
        for (std::size_t i = 0; i < text.size();) {
            const std::size_t start = i;
            if (is_break(next_code_point(text, i))) {
                finish();
                continue;
            }
            if (!placed) {
                compare(g);
                placed = true;
            }
            if (!open_) start_word(g);
            word_.text.append(text.substr(start, i - start));
        }
        if (placed) {
            grow(g);
            prev_ = g;
            has_prev_ = true;
        }
    }

    void finish() {
        if (!open_) return;
        out_.words.push_back(std::move(word_));
        word_ = Word{};
        open_ = false;
    }

private:
    // Ends the current word where the geometry says so; notes a new line.
    void compare(const PlacedGlyph& g) {
        if (!has_prev_) return;
        const PlacedGlyph& p = prev_;
        const double ref = std::max(p.size, g.size);
        const double dx = g.ox - p.ox, dy = g.oy - p.oy;
        const double ahead = dx * p.dx + dy * p.dy;
        const double across = std::abs(dx * p.dy - dy * p.dx);
        const bool turned = p.dx * g.dx + p.dy * g.dy < kSameDirection;
        if (turned || across > kLineShift * ref || ahead < -kJumpBack * ref) {
            finish();
            new_line_ = true;
            gap_ = !turned && across - ref > kParagraphGap * ref;
        } else if (ahead - p.advance > kWordGap * ref) {
            finish();
        }
    }

    void start_word(const PlacedGlyph& g) {
        open_ = true;
        if (new_line_ && !out_.words.empty()) {
            ++line_;
            word_.gap_before = gap_;
        }
        new_line_ = false;
        word_.line = line_;
        word_.size = g.size;
        word_.font = font_index(g.font);
        word_.x0 = g.x0, word_.top = g.top, word_.x1 = g.x1, word_.bottom = g.bottom;
    }

    void grow(const PlacedGlyph& g) {
        word_.x0 = std::min(word_.x0, g.x0), word_.top = std::min(word_.top, g.top);
        word_.x1 = std::max(word_.x1, g.x1), word_.bottom = std::max(word_.bottom, g.bottom);
    }

    std::size_t font_index(const LayoutFont* font) {
        auto [it, inserted] = fonts_.try_emplace(font, out_.fonts.size());
        if (inserted) out_.fonts.push_back(font->base_font());
        return it->second;
    }

    PageWords& out_;
    Word word_;
    bool open_ = false, new_line_ = false, gap_ = false;
    std::size_t line_ = 0;
    PlacedGlyph prev_{};
    bool has_prev_ = false;
    std::unordered_map<const LayoutFont*, std::size_t> fonts_;
};

// Runs the content of one page, forms included, and records every glyph shown.
class Walker {
public:
    Walker(const Document& doc, LayoutCache::State& cache, WordBuilder& words)
        : doc_(doc), cache_(cache), words_(words), form_budget_(doc.objects.size() * kFormsPerObject + kFormSlack) {}

    void run(const LayoutOperations& page, const Dictionary* resources, const Matrix& ctm) {
        form_budget_ += page.operations.size();
        gs_.ctm = ctm;
        frames_.push_back({&page, 0, resources, 0, nullptr, {}, {}});
        while (!frames_.empty()) {
            Frame& frame = frames_.back();
            if (frame.next == frame.ops->operations.size()) {
                end_frame();
                continue;
            }
            const LayoutOperation& op = frame.ops->operations[frame.next++];
            execute(*frame.ops, op);
        }
    }

private:
    struct Graphics {
        Matrix ctm;
        double char_spacing = 0, word_spacing = 0, scale = 1, leading = 0, rise = 0, size = 0;
        FontEntry* font = nullptr;
    };
    struct Frame {
        const LayoutOperations* ops;
        std::size_t next;
        const Dictionary* resources;
        std::size_t saved_depth;  // graphics states saved below this frame
        const Stream* form;       // null for the page
        Matrix tm, tlm;           // of the invoking frame, restored after a form
    };

    // The last `n` operands when they are all numbers.
    static bool numbers(const LayoutOperations& ops, const LayoutOperation& op, std::size_t n, double* out) {
        const auto operands = ops.operands_of(op);
        if (operands.size() < n) return false;
        for (std::size_t i = 0; i < n; ++i) {
            const LayoutOperand& o = operands[operands.size() - n + i];
            if (o.kind != LayoutOperand::Kind::Number) return false;
            out[i] = o.number;
        }
        return true;
    }

    static const LayoutOperand* last(const LayoutOperations& ops, const LayoutOperation& op, LayoutOperand::Kind kind) {
        const auto operands = ops.operands_of(op);
        return !operands.empty() && operands.back().kind == kind ? &operands.back() : nullptr;
    }

    void move(double tx, double ty) {
        tlm = Matrix{1, 0, 0, 1, tx, ty} * tlm;
        tm = tlm;
    }

    void execute(const LayoutOperations& ops, const LayoutOperation& op) {
        double v[6];
        using Kind = LayoutOperand::Kind;
        switch (op.op) {
            case LayoutOp::Save:
                saved_.push_back(gs_);
                break;
            case LayoutOp::Restore:
                if (saved_.size() > frames_.back().saved_depth) {
                    gs_ = saved_.back();
                    saved_.pop_back();
                }
                break;
            case LayoutOp::Concat:
                if (numbers(ops, op, 6, v)) gs_.ctm = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]} * gs_.ctm;
                break;
            case LayoutOp::BeginText:
                tm = tlm = Matrix{};
                break;
            case LayoutOp::CharSpacing:
                if (numbers(ops, op, 1, v)) gs_.char_spacing = v[0];
                break;
            case LayoutOp::WordSpacing:
                if (numbers(ops, op, 1, v)) gs_.word_spacing = v[0];
                break;
            case LayoutOp::HorizontalScale:
                if (numbers(ops, op, 1, v)) gs_.scale = v[0] / 100;
                break;
            case LayoutOp::Leading:
                if (numbers(ops, op, 1, v)) gs_.leading = v[0];
                break;
            case LayoutOp::Rise:
                if (numbers(ops, op, 1, v)) gs_.rise = v[0];
                break;
            case LayoutOp::Font: {
                const auto operands = ops.operands_of(op);
                if (operands.empty() || operands.front().kind != Kind::Name) break;
                gs_.font = &select_font(ops.bytes(operands.front()));
                if (operands.size() >= 2 && operands[1].kind == Kind::Number) gs_.size = operands[1].number;
                break;
            }
            case LayoutOp::Move:
                if (numbers(ops, op, 2, v)) move(v[0], v[1]);
                break;
            case LayoutOp::MoveSetLeading:
                if (numbers(ops, op, 2, v)) {
                    gs_.leading = -v[1];
                    move(v[0], v[1]);
                }
                break;
            case LayoutOp::Matrix:
                if (numbers(ops, op, 6, v)) tm = tlm = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
                break;
            case LayoutOp::NextLine:
                move(0, -gs_.leading);
                break;
            case LayoutOp::Show:
                if (const LayoutOperand* s = last(ops, op, Kind::String)) show(ops.bytes(*s));
                break;
            case LayoutOp::ShowArray:
                if (const LayoutOperand* array = last(ops, op, Kind::Array)) {
                    for (const LayoutOperand& element : ops.elements_of(*array)) {
                        if (element.kind == Kind::String) {
                            show(ops.bytes(element));
                        } else if (element.kind == Kind::Number) {
                            advance(-element.number / 1000 * gs_.size * gs_.scale);
                        }
                    }
                }
                break;
            case LayoutOp::NextLineSpacingShow: {
                const auto operands = ops.operands_of(op);
                if (operands.size() >= 3 && operands[operands.size() - 3].kind == Kind::Number &&
                    operands[operands.size() - 2].kind == Kind::Number) {
                    gs_.word_spacing = operands[operands.size() - 3].number;
                    gs_.char_spacing = operands[operands.size() - 2].number;
                }
                [[fallthrough]];
            }
            case LayoutOp::NextLineShow:
                move(0, -gs_.leading);
                if (const LayoutOperand* s = last(ops, op, Kind::String)) show(ops.bytes(*s));
                break;
            case LayoutOp::XObject: {
                const auto operands = ops.operands_of(op);
                if (!operands.empty() && operands.front().kind == Kind::Name) draw_form(ops.bytes(operands.front()));
                break;
            }
        }
    }

    FontEntry& select_font(std::string_view name) {
        const Dictionary* resources = frames_.back().resources;
        for (const Selected& s : selected_)
            if (s.resources == resources && s.name == name) return *s.entry;
        const Dictionary* dictionary = resource_font(doc_, resources, name);
        auto [it, inserted] = cache_.fonts.try_emplace(dictionary);
        if (inserted) {
            it->second.dictionary = dictionary;
            try {
                if (dictionary) it->second.to_unicode = font_dictionary_to_unicode(doc_, *dictionary);
            } catch (...) {
                cache_.fonts.erase(it);  // failures are not cached
                throw;
            }
        }
        if (selected_.size() == kRecentFonts) selected_.clear();
        selected_.push_back({resources, std::string(name), &it->second});
        return it->second;
    }

    LayoutFont& font() {
        FontEntry* entry = gs_.font;
        if (!entry) entry = &select_missing();
        if (!entry->font) {
            entry->font = std::make_unique<LayoutFont>(doc_, entry->dictionary,
                                                       entry->to_unicode ? &*entry->to_unicode : nullptr);
        }
        return *entry->font;
    }

    FontEntry& select_missing() { return cache_.fonts[nullptr]; }

    void advance(double tx) {
        tm.e += tx * tm.a;
        tm.f += tx * tm.b;
    }

    void show(std::string_view bytes) {
        if (bytes.empty()) return;
        LayoutFont& f = font();
        const double size = gs_.size, scale = gs_.scale;
        for (std::size_t pos = 0; pos < bytes.size();) {
            const LayoutFont::Glyph g = f.next(bytes.substr(pos));
            pos += g.length;
            if (g.text_size) place(f, g);
            advance((g.advance * size + gs_.char_spacing + (g.word_space ? gs_.word_spacing : 0)) * scale);
        }
    }

    void place(const LayoutFont& f, const LayoutFont::Glyph& g) {
        const Matrix m = tm * gs_.ctm;
        const double hs = gs_.size * gs_.scale;
        // The glyph's axes on the page: x along the baseline, y up to the ascender.
        const double xx = hs * m.a, xy = hs * m.b, yx = gs_.size * m.c, yy = gs_.size * m.d;
        const double ox = gs_.rise * m.c + m.e, oy = gs_.rise * m.d + m.f;
        const double w = g.advance;
        const double ax = w * xx, ay = w * xy;
        const double dx0 = f.descent() * yx, dy0 = f.descent() * yy, dx1 = f.ascent() * yx, dy1 = f.ascent() * yy;
        const double xs[4] = {ox + dx0, ox + ax + dx0, ox + dx1, ox + ax + dx1};
        const double ys[4] = {oy + dy0, oy + ay + dy0, oy + dy1, oy + ay + dy1};
        const double length = std::hypot(xx, xy);
        PlacedGlyph p{&f,
                      g.text_offset,
                      g.text_size,
                      ox,
                      oy,
                      1,
                      0,
                      std::hypot(ax, ay),
                      *std::min_element(xs, xs + 4),
                      *std::min_element(ys, ys + 4),
                      *std::max_element(xs, xs + 4),
                      *std::max_element(ys, ys + 4),
                      std::abs(gs_.size) * std::hypot(m.c, m.d)};
        if (length > 0) p.dx = xx / length, p.dy = xy / length;
        if (w < 0) p.dx = -p.dx, p.dy = -p.dy;
        // A hostile matrix gives a degenerate glyph, never a NaN downstream.
        if (!finite_all({p.ox, p.oy, p.dx, p.dy, p.advance, p.x0, p.top, p.x1, p.bottom, p.size})) {
            p.ox = p.oy = p.advance = p.x0 = p.top = p.x1 = p.bottom = p.size = 0;
            p.dx = 1, p.dy = 0;
        }
        words_.add(p);
    }

    void draw_form(std::string_view name) {
        const Dictionary* resources = frames_.back().resources;
        const Object* list = resources ? resources->get("XObject") : nullptr;
        if (!list) return;
        const Dictionary* xobjects = doc_.resolve(*list).as_dictionary_like();
        if (!xobjects) throw PdfError::type_mismatch("page /Resources /XObject", "dictionary");
        const Object* entry = xobjects->get(name);
        if (!entry) return;
        const Stream* form = doc_.resolve(*entry).as_stream();
        if (!form) throw PdfError::type_mismatch("page /Resources /XObject item", "stream");
        const Object* subtype = form->dictionary.get("Subtype");
        if (!subtype || !doc_.resolve(*subtype).is_name("Form")) return;
        if (active_.count(form)) {
            const ObjectId* id = entry->as_reference();
            throw PdfError::xobject_cycle(id ? *id : ObjectId{});
        }
        const Dictionary* form_resources = resources;
        if (const Object* own = form->dictionary.get("Resources"))
            form_resources = &doc_.resolve_to_dictionary(*own, "form XObject /Resources");
        Matrix matrix;
        if (const Object* m = form->dictionary.get("Matrix")) {
            const Array* array = doc_.resolve(*m).as_array();
            double v[6];
            bool ok = array && array->size() == 6;
            for (std::size_t i = 0; ok && i < 6; ++i) ok = doc_.resolve((*array)[i]).as_number(v[i]);
            if (ok) matrix = Matrix{v[0], v[1], v[2], v[3], v[4], v[5]};
        }
        auto it = cache_.forms.find(form);
        if (it == cache_.forms.end()) {
            std::string owned;
            it = cache_.forms.emplace(form, parse_layout_operations(form->decoded_data_cow(owned))).first;
        }
        const std::size_t cost = it->second.operations.size() + 1;
        if (cost > form_budget_) throw PdfError::unsupported(0, "too many form XObject invocations on one page");
        form_budget_ -= cost;
        saved_.push_back(gs_);
        gs_.ctm = matrix * gs_.ctm;
        frames_.push_back({&it->second, 0, form_resources, saved_.size(), form, tm, tlm});
        active_.insert(form);
        selected_.clear();  // the names now mean the form's fonts
    }

    void end_frame() {
        const Frame frame = frames_.back();
        frames_.pop_back();
        if (!frame.form) return;
        saved_.resize(frame.saved_depth);
        gs_ = saved_.back();
        saved_.pop_back();
        tm = frame.tm, tlm = frame.tlm;
        active_.erase(frame.form);
        selected_.clear();
    }

    struct Selected {
        const Dictionary* resources;
        std::string name;
        FontEntry* entry;
    };

    const Document& doc_;
    LayoutCache::State& cache_;
    WordBuilder& words_;
    std::size_t form_budget_;
    Graphics gs_;
    std::vector<Graphics> saved_;
    Matrix tm, tlm;
    std::vector<Frame> frames_;
    std::set<const Stream*> active_;
    std::vector<Selected> selected_;  // fonts already looked up in the current resources
};

}  // namespace

PageWords page_words_with_cache(const Document& doc, const PageRecord& page, LayoutCache& cache) {
    std::string joined;
    const std::string_view content = page_content(doc, page, joined);
    const LayoutOperations operations = parse_layout_operations(content);
    PageWords out;
    WordBuilder builder(out);
    Walker(doc, cache.state(), builder)
        .run(operations, doc.page_resource_dictionary(*page.dictionary, page.inherited.resources), page_matrix(page));
    builder.finish();
    return out;
}

PageWords page_words(const Document& doc, const PageRecord& page) {
    LayoutCache cache;
    return page_words_with_cache(doc, page, cache);
}

std::string words_to_layout_text(const PageWords& words) {
    std::string out;
    for (std::size_t i = 0; i < words.words.size(); ++i) {
        const Word& w = words.words[i];
        if (i) {
            if (w.line != words.words[i - 1].line) {
                out += w.gap_before ? "\n\n" : "\n";
            } else {
                out += ' ';
            }
        }
        out += w.text;
    }
    return out;
}

std::string page_layout_text(const Document& doc, const PageRecord& page) {
    return words_to_layout_text(page_words(doc, page));
}

std::vector<std::string> page_layout_texts(const Document& doc) {
    const std::vector<PageRecord> list = doc.pages();
    LayoutCache cache;
    std::vector<std::string> texts;
    texts.reserve(list.size());
    for (const PageRecord& page : list) texts.push_back(words_to_layout_text(page_words_with_cache(doc, page, cache)));
    return texts;
}

std::string layout_text(const Document& doc) {
    const std::vector<PageRecord> list = doc.pages();
    LayoutCache cache;
    std::string out;
    for (std::size_t i = 0; i < list.size(); ++i) {
        if (i) out.push_back('\n');
        out += words_to_layout_text(page_words_with_cache(doc, list[i], cache));
    }
    return out;
}

}  // namespace quarvel
