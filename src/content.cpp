#include "content.hpp"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <utility>

#include "error.hpp"
#include "lexer.hpp"
#include "parser.hpp"

namespace quarvel {

namespace {

// Builds real objects. Values of open containers pile up on one stack, the finished
// operands at its bottom, so each container is allocated once at its final size.
class ObjectOperandSink {
public:
    struct Mark {
        std::size_t values = 0, keys = 0;
    };

    static bool wants(std::string_view) { return true; }
    std::vector<Object>& operands() { return values_; }
    bool empty() const { return values_.empty(); }
    void clear() { values_.clear(); }

    void name(const std::string& bytes) { values_.emplace_back().value.emplace<Name>().bytes.assign(bytes); }
    void string(const std::string& bytes) { values_.emplace_back().value.emplace<String>().bytes.assign(bytes); }
    void number(Number n) { values_.emplace_back().value.emplace<Number>(n); }
    void reference(ObjectId id) { values_.emplace_back(id); }
    void replace_numbers_by_reference(ObjectId id) {
        values_.resize(values_.size() - 2);
        values_.emplace_back(id);
    }
    void boolean(bool b) { values_.emplace_back(b); }
    void null() { values_.emplace_back(); }

    Mark begin_array() { return {values_.size(), keys_.size()}; }
    void end_array(Mark mark) {
        const auto first = values_.begin() + static_cast<std::ptrdiff_t>(mark.values);
        Array array(std::make_move_iterator(first), std::make_move_iterator(values_.end()));
        values_.erase(first, values_.end());
        values_.emplace_back(std::move(array));
    }

    Mark begin_dict() { return {values_.size(), keys_.size()}; }
    void key(const std::string& bytes) { keys_.push_back(bytes); }
    void end_dict(Mark mark) {
        std::vector<Dictionary::Entry> entries;
        entries.reserve(keys_.size() - mark.keys);
        for (std::size_t k = mark.keys, v = mark.values; k < keys_.size(); ++k, ++v)
            entries.emplace_back(std::move(keys_[k]), std::move(values_[v]));
        keys_.resize(mark.keys);
        values_.resize(mark.values);
        values_.emplace_back(Dictionary::from_entries(entries.data(), entries.data() + entries.size()));
    }

private:
    std::vector<Object> values_;
    std::vector<std::string> keys_;
};

}  // namespace

// Keeps only what TextOperands exposes; values nested below the direct elements of a
// top-level array are only counted for their depth.
class TextOperandSink {
public:
    using Mark = int;  // nothing to remember: the depth counter suffices

    // The operators that show text or select a font; the others are not visited.
    static bool wants(std::string_view op) {
        if (op.size() == 1) return op[0] == '\'' || op[0] == '"';
        return op.size() == 2 && op[0] == 'T' && (op[1] == 'f' || op[1] == 'j' || op[1] == 'J' || op[1] == '*');
    }
    const TextOperands& operands() const { return ops_; }
    bool empty() const { return ops_.count_ == 0; }
    void clear() { ops_.count_ = 0; }

    // Only the first operand's name is read.
    void name(const std::string& bytes) {
        if (depth_ != 0) return;
        if (ops_.count_ != 0) {
            start(Kind::Other);
            return;
        }
        start(Kind::Name);
        ops_.name_.assign(bytes);
    }
    // A string operand is read, if at all, by the operator that follows it at once, while
    // the parser still holds its token.
    void string(const std::string& bytes) {
        if (depth_ == 0) {
            start(Kind::String);
            ops_.last_string_ = bytes;
        } else if (depth_ == 1 && ops_.last_ == Kind::Array) {
            keep_element(bytes);
        }
    }
    void number(Number) { other(); }
    void reference(ObjectId) { other(); }
    void replace_numbers_by_reference(ObjectId) {
        if (depth_ != 0) return;
        --ops_.count_;
        ops_.last_ = Kind::Other;
    }
    void boolean(bool) { other(); }
    void null() { other(); }

    Mark begin_array() {
        if (depth_ == 0) {
            start(Kind::Array);
            ops_.elements_.clear();
            ops_.arena_used_ = 0;
        }
        ++depth_;
        return 0;
    }
    void end_array(Mark) { --depth_; }
    Mark begin_dict() {
        other();
        ++depth_;
        return 0;
    }
    void key(const std::string&) {}
    void end_dict(Mark) { --depth_; }

private:
    using Kind = TextOperands::Kind;

    void other() {
        if (depth_ == 0) start(Kind::Other);
    }
    // A new top-level operand; its predecessor stays readable as the first one.
    void start(Kind kind) {
        if (ops_.count_ == 1) ops_.first_ = ops_.last_;
        ++ops_.count_;
        ops_.last_ = kind;
    }

    // Most shown strings are a few bytes long: those are copied as one fixed block of
    // kBlock bytes, which a std::string always has readable (capacity 15 and the null).
    static constexpr std::size_t kBlock = 16;

    void keep_element(const std::string& bytes) {
        const std::size_t n = bytes.size();
        if (ops_.arena_size_ - ops_.arena_used_ < n + kBlock) grow(n + kBlock);
        char* at = ops_.arena_.get() + ops_.arena_used_;
        if (n <= kBlock)
            std::memcpy(at, bytes.data(), kBlock);
        else
            std::memcpy(at, bytes.data(), n);
        ops_.arena_used_ += n;
        ops_.elements_.emplace_back(at, n);
    }
    [[gnu::noinline]] void grow(std::size_t extra) {
        const std::size_t size = std::max(ops_.arena_size_ * 2, ops_.arena_used_ + extra);
        auto grown = std::make_unique_for_overwrite<char[]>(size);
        const char* old = ops_.arena_.get();
        if (ops_.arena_used_) std::memcpy(grown.get(), old, ops_.arena_used_);
        for (std::string_view& element : ops_.elements_)
            element = std::string_view(grown.get() + (element.data() - old), element.size());
        ops_.arena_ = std::move(grown);
        ops_.arena_size_ = size;
    }

    TextOperands ops_;
    unsigned depth_ = 0;  // open arrays and dictionaries
};

std::optional<std::string_view> TextOperands::first_name() const {
    if (count_ == 0 || first() != Kind::Name) return std::nullopt;
    return name_;
}

std::span<const std::string_view> TextOperands::last_array_strings() const {
    if (count_ == 0 || last_ != Kind::Array) return {};
    return elements_;
}

std::optional<std::string_view> TextOperands::last_string() const {
    if (count_ == 0 || last_ != Kind::String) return std::nullopt;
    return last_string_;
}

namespace {

std::string token_debug(const Token& token) {
    if (token.kind != TokenKind::Keyword) return token_kind_name(token.kind);
    std::string out = "Keyword([";
    for (std::size_t i = 0; i < token.keyword.size(); ++i) {
        if (i) out += ", ";
        out += std::to_string(static_cast<unsigned char>(token.keyword[i]));
    }
    out += "])";
    return out;
}

// The content grammar over any operand sink. A reference `n g R` among operands or
// array elements is found when its R arrives, and the two integers already passed to
// the sink are replaced: each token is lexed once, into one of two alternating slots,
// so that the token before the current one is still readable. A dictionary value
// holds one object, so there the look-ahead lexes up to two tokens and steps back.
template <class Sink>
class ContentParser {
public:
    explicit ContentParser(std::string_view data) : data_(data), lexer_(data) {}

    template <class Visit>
    void run(Visit& visit) {
        while (const Token* token = next_top_level()) {
            if (token->kind != TokenKind::Keyword) {
                value(*token, 0);
                continue;
            }
            const std::string_view word = token->keyword;
            if (keyword_value(word)) continue;
            if (Sink::wants(word)) visit(word, sink_.operands());
            sink_.clear();
            if (word.size() == 2 && word[0] == 'I' && word[1] == 'D') {
                if (!skip_inline_image_data()) return;
                if (Sink::wants("EI")) visit(std::string_view("EI"), sink_.operands());
                sink_.clear();
            }
        }
        if (!sink_.empty())
            throw PdfError::invalid_token(data_.size(), "content stream ended with dangling operands");
    }

    Sink& sink() { return sink_; }

private:
    // An integer operand or element, in case an R follows.
    struct Integral {
        Integer value = 0;
        std::uint64_t end = 0;  // lexer position after it
        std::uint64_t index = 0;  // in the order tokens were read
    };

    // true, false and null are values wherever a value may stand.
    bool literal(std::string_view word) {
        if (word == "true") {
            sink_.boolean(true);
        } else if (word == "false") {
            sink_.boolean(false);
        } else if (word == "null") {
            sink_.null();
        } else {
            return false;
        }
        return true;
    }

    // A keyword that is a value where a sequence of values stands: a literal, or the
    // R that makes a reference of the two integers read just before it.
    bool keyword_value(std::string_view word) {
        const Integral& object = integers_[read_ & 1];
        const Integral& generation = integers_[(read_ - 1) & 1];
        if (word.size() == 1 && word[0] == 'R' && generation.index + 1 == read_ && object.index + 2 == read_) {
            const ObjectId id = checked_reference(object.value, generation.value, object.end);
            sink_.replace_numbers_by_reference(id);
            return true;
        }
        return literal(word);
    }

    static ObjectId checked_reference(Integer object, Integer generation, std::uint64_t offset) {
        if (object < 0 || object > 0xFFFFFFFFLL) throw PdfError::invalid_token(offset, "invalid object number");
        if (generation < 0 || generation > 0xFFFF) throw PdfError::invalid_token(offset, "invalid generation");
        return {static_cast<std::uint32_t>(object), static_cast<std::uint16_t>(generation)};
    }

    Token& next_slot() {
        ++read_;
        return slots_[read_ & 1];
    }

    // Null at the end of the data; a token cut short by the end counts as the end.
    const Token* next_top_level() {
        Token& token = next_slot();
        try {
            if (!lexer_.next_token_or_end(token)) return nullptr;
        } catch (const PdfError& e) {
            if (e.kind() == PdfError::Kind::UnexpectedEof) return nullptr;
            throw;
        }
        return &token;
    }

    const Token& read() {
        Token& token = next_slot();
        if (!lexer_.next_token_or_end(token)) throw PdfError::unexpected_eof();
        return token;
    }

    // An element of an array: the next value in a sequence.
    void element(const Token& token, unsigned depth) {
        if (token.kind == TokenKind::Keyword && keyword_value(token.keyword)) return;
        value(token, depth);
    }

    // The value of `token` in a sequence of values, and of the tokens it needs. Inlined
    // into its two callers, and the containers kept out of line, so that scalars, nearly
    // every operand, cost no call; the compiler would not choose this on its own.
    [[gnu::always_inline]] void value(const Token& token, unsigned depth) {
        switch (token.kind) {
            case TokenKind::Name:
                sink_.name(token.bytes);
                return;
            case TokenKind::String:
                sink_.string(token.bytes);
                return;
            case TokenKind::Real:
                sink_.number(token.real);
                return;
            case TokenKind::Integer:
                integers_[read_ & 1] = {token.integer, lexer_.pos(), read_};
                sink_.number(token.integer);
                return;
            case TokenKind::ArrayStart:
                array(token, depth);
                return;
            case TokenKind::DictStart:
                dictionary(token, depth);
                return;
            default:
                unexpected(token);
        }
    }

    [[gnu::noinline]] void array(const Token& open, unsigned depth) {
        check_depth(open, depth);
        const auto mark = sink_.begin_array();
        for (;;) {
            const Token& token = read();
            if (token.kind == TokenKind::ArrayEnd) break;
            element(token, depth + 1);
        }
        sink_.end_array(mark);
    }

    [[gnu::noinline]] void dictionary(const Token& open, unsigned depth) {
        check_depth(open, depth);
        const auto mark = sink_.begin_dict();
        for (;;) {
            const Token& key = read();
            if (key.kind == TokenKind::DictEnd) break;
            if (key.kind != TokenKind::Name) throw PdfError::invalid_token(key.offset, "expected content dictionary key");
            sink_.key(key.bytes);
            const Token& token = read();
            if (token.kind == TokenKind::Integer) {
                number_or_reference(token.integer);
            } else if (token.kind != TokenKind::Keyword || !literal(token.keyword)) {
                value(token, depth + 1);
            }
        }
        sink_.end_dict(mark);
    }

    // A lone integer, or the reference it starts; tokens read ahead for nothing are
    // read again.
    void number_or_reference(Integer first) {
        const std::uint64_t end = lexer_.pos();
        if (lex_ahead(ahead_[0]) && ahead_[0].kind == TokenKind::Integer && lex_ahead(ahead_[1]) &&
            ahead_[1].kind == TokenKind::Keyword && ahead_[1].keyword == "R") {
            sink_.reference(checked_reference(first, ahead_[0].integer, end));
            return;
        }
        lexer_.set_pos(end);
        sink_.number(first);
    }

    // False if lexing fails: the error, if any, is raised when the token is read again.
    bool lex_ahead(Token& token) {
        try {
            lexer_.next_token(token);
            return true;
        } catch (const PdfError&) {
            return false;
        }
    }

    [[noreturn]] void unexpected(const Token& token) const {
        throw PdfError::invalid_token(lexer_.pos(), "unexpected content token " + token_debug(token));
    }

    static void check_depth(const Token& token, unsigned depth) {
        if (depth >= kMaxNestingDepth)
            throw PdfError::invalid_token(token.offset, "array or dictionary nesting is too deep");
    }

    // Image data is binary: it is skipped up to an EI that stands alone, not tokenised.
    // False when no such EI exists, in which case the image runs to the end.
    bool skip_inline_image_data() {
        std::size_t start = lexer_.pos();
        if (start < data_.size() && is_pdf_whitespace(static_cast<unsigned char>(data_[start]))) ++start;
        for (std::size_t at = start;; ++at) {
            at = data_.find("EI", at);
            if (at == std::string_view::npos) return false;
            if (at == 0 || !is_pdf_whitespace(static_cast<unsigned char>(data_[at - 1]))) continue;
            const std::size_t after = at + 2;
            if (after < data_.size()) {
                auto c = static_cast<unsigned char>(data_[after]);
                if (!is_pdf_whitespace(c) && !is_pdf_delimiter(c)) continue;
            }
            lexer_.set_pos(after);
            return true;
        }
    }

    std::string_view data_;
    Lexer lexer_;
    Sink sink_;
    Token slots_[2];
    Token ahead_[2];
    std::uint64_t read_ = 2;  // tokens read, plus two so that no integer seems to precede the first
    Integral integers_[2];    // the last two integers read, by the parity of their index
};

}  // namespace

namespace {

std::optional<LayoutOp> layout_op(std::string_view word) {
    if (word.size() == 1) {
        switch (word[0]) {
            case 'q':
                return LayoutOp::Save;
            case 'Q':
                return LayoutOp::Restore;
            case '\'':
                return LayoutOp::NextLineShow;
            case '"':
                return LayoutOp::NextLineSpacingShow;
            default:
                return std::nullopt;
        }
    }
    if (word.size() != 2) return std::nullopt;
    if (word == "cm") return LayoutOp::Concat;
    if (word == "BT") return LayoutOp::BeginText;
    if (word == "Do") return LayoutOp::XObject;
    if (word[0] != 'T') return std::nullopt;
    switch (word[1]) {
        case 'c':
            return LayoutOp::CharSpacing;
        case 'w':
            return LayoutOp::WordSpacing;
        case 'z':
            return LayoutOp::HorizontalScale;
        case 'L':
            return LayoutOp::Leading;
        case 'f':
            return LayoutOp::Font;
        case 's':
            return LayoutOp::Rise;
        case 'd':
            return LayoutOp::Move;
        case 'D':
            return LayoutOp::MoveSetLeading;
        case 'm':
            return LayoutOp::Matrix;
        case '*':
            return LayoutOp::NextLine;
        case 'j':
            return LayoutOp::Show;
        case 'J':
            return LayoutOp::ShowArray;
        default:
            return std::nullopt;
    }
}

// Appends straight into the final lists; the operands of an operator that is not
// kept are cut off again.
class LayoutOperandSink {
public:
    using Mark = int;

    static bool wants(std::string_view op) { return layout_op(op).has_value(); }
    LayoutOperandSink& operands() { return *this; }
    bool empty() const { return out_.operands.size() == kept_operands_; }
    void clear() {
        out_.operands.resize(kept_operands_);
        out_.elements.resize(kept_elements_);
        out_.arena.resize(kept_arena_);
    }
    void keep(std::string_view op) {
        const auto count = static_cast<std::uint32_t>(out_.operands.size() - kept_operands_);
        out_.operations.push_back({*layout_op(op), static_cast<std::uint32_t>(kept_operands_), count});
        kept_operands_ = out_.operands.size();
        kept_elements_ = out_.elements.size();
        kept_arena_ = out_.arena.size();
    }
    LayoutOperations finish() { return std::move(out_); }

    void name(const std::string& bytes) { add(Kind::Name, 0, &bytes); }
    void string(const std::string& bytes) { add(Kind::String, 0, &bytes); }
    void number(Number n) {
        add(Kind::Number,
            std::holds_alternative<Integer>(n) ? static_cast<double>(std::get<Integer>(n)) : std::get<Real>(n),
            nullptr);
    }
    void reference(ObjectId) { add(Kind::Other, 0, nullptr); }
    void replace_numbers_by_reference(ObjectId) {
        if (depth_ > 1) return;
        std::vector<LayoutOperand>& list = depth_ == 0 ? out_.operands : out_.elements;
        list.resize(list.size() - 2);
        list.push_back({Kind::Other, 0, 0, 0});
    }
    void boolean(bool) { add(Kind::Other, 0, nullptr); }
    void null() { add(Kind::Other, 0, nullptr); }

    Mark begin_array() {
        if (depth_ == 0) {
            out_.operands.push_back({Kind::Array, 0, static_cast<std::uint32_t>(out_.elements.size()), 0});
        } else {
            add(Kind::Other, 0, nullptr);
        }
        ++depth_;
        return 0;
    }
    void end_array(Mark) {
        if (--depth_ == 0) {
            LayoutOperand& array = out_.operands.back();
            array.size = static_cast<std::uint32_t>(out_.elements.size() - array.begin);
        }
    }
    Mark begin_dict() {
        add(Kind::Other, 0, nullptr);
        ++depth_;
        return 0;
    }
    void key(const std::string&) {}
    void end_dict(Mark) { --depth_; }

private:
    using Kind = LayoutOperand::Kind;

    void add(Kind kind, double number, const std::string* bytes) {
        if (depth_ > 1) return;
        LayoutOperand operand{kind, number, 0, 0};
        if (bytes) {
            operand.begin = static_cast<std::uint32_t>(out_.arena.size());
            operand.size = static_cast<std::uint32_t>(bytes->size());
            out_.arena.append(*bytes);
        }
        (depth_ == 0 ? out_.operands : out_.elements).push_back(operand);
    }

    LayoutOperations out_;
    std::size_t kept_operands_ = 0, kept_elements_ = 0, kept_arena_ = 0;
    unsigned depth_ = 0;
};

}  // namespace

void for_each_content_operation(std::string_view bytes, const ContentVisitor& visit) {
    ContentParser<ObjectOperandSink>(bytes).run(visit);
}

void for_each_text_operation(std::string_view bytes, const TextOperationVisitor& visit) {
    ContentParser<TextOperandSink>(bytes).run(visit);
}

LayoutOperations parse_layout_operations(std::string_view bytes) {
    // Operand offsets are 32-bit; nothing of this size is a real page.
    if (bytes.size() > 0xFFFFFFFFu) throw PdfError::unsupported(0, "content stream is too large to lay out");
    ContentParser<LayoutOperandSink> parser(bytes);
    auto keep = [](std::string_view op, LayoutOperandSink& sink) { sink.keep(op); };
    parser.run(keep);
    return parser.sink().finish();
}

std::vector<ContentOperation> parse_content_operations(std::string_view bytes) {
    std::vector<ContentOperation> operations;
    auto collect = [&operations](std::string_view op, std::vector<Object>& operands) {
        ContentOperation& operation = operations.emplace_back();
        operation.op.assign(op);
        // Exact-size copy by moves, so the parser keeps its operand buffer.
        operation.operands.reserve(operands.size());
        operation.operands.assign(std::make_move_iterator(operands.begin()), std::make_move_iterator(operands.end()));
    };
    ContentParser<ObjectOperandSink>(bytes).run(collect);
    return operations;
}

}  // namespace quarvel
