#include "content.hpp"

#include <iterator>
#include <utility>

#include "error.hpp"
#include "lexer.hpp"
#include "parser.hpp"

namespace quarvel {

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

// Tokens live in a ring of three: the current one and up to two read ahead by the
// reference look-ahead, so each token is lexed once and no token buffer is moved.
class ContentParser {
public:
    explicit ContentParser(std::string_view data) : data_(data), lexer_(data) {}

    template <class Visit>
    void run(Visit& visit) {
        std::vector<Object> operands;
        while (next_top_level()) {
            const Token& token = current();
            if (token.kind != TokenKind::Keyword) {
                fill(operands.emplace_back(), 0);
                continue;
            }
            const std::string_view word = token.keyword;
            if (fill_literal(word, operands)) continue;
            visit(word, operands);
            operands.clear();
            if (word == "ID") {
                if (!skip_inline_image_data()) return;
                visit(std::string_view("EI"), operands);
                operands.clear();
            }
        }
        if (!operands.empty())
            throw PdfError::invalid_token(data_.size(), "content stream ended with dangling operands");
    }

private:
    struct Slot {
        Token token;
        std::uint64_t end = 0;  // lexer position after the token
    };

    static bool fill_literal(std::string_view word, std::vector<Object>& out) {
        if (word == "true") {
            out.emplace_back(true);
        } else if (word == "false") {
            out.emplace_back(false);
        } else if (word == "null") {
            out.emplace_back(Null{});
        } else {
            return false;
        }
        return true;
    }

    Token& current() { return ring_[head_].token; }
    std::uint64_t current_end() const { return ring_[head_].end; }

    // Lexes into the slot after the last buffered one.
    void lex_next() {
        Slot& slot = ring_[(head_ + 1 + pending_) % kRing];
        lexer_.next_token(slot.token);
        slot.end = lexer_.pos();
        ++pending_;
    }

    void advance() {
        head_ = (head_ + 1) % kRing;
        --pending_;
    }

    // False at the end of the data; a token cut short by the end counts as the end.
    bool next_top_level() {
        if (!pending_) {
            lexer_.skip_ws_and_comments();
            if (lexer_.pos() >= data_.size()) return false;
            try {
                lex_next();
            } catch (const PdfError& e) {
                if (e.kind() == PdfError::Kind::UnexpectedEof) return false;
                throw;
            }
        }
        advance();
        return true;
    }

    Token& read() {
        if (!pending_) lex_next();
        advance();
        return current();
    }

    // The k-th token after the current one, or null if lexing it fails.
    const Token* peek(unsigned k) {
        while (pending_ <= k) {
            const std::uint64_t before = lexer_.pos();
            try {
                lex_next();
            } catch (const PdfError&) {
                lexer_.set_pos(before);
                return nullptr;
            }
        }
        return &ring_[(head_ + 1 + k) % kRing].token;
    }

    void number_or_reference(Object& out, Integer first) {
        const std::uint64_t remembered = current_end();
        const Token* generation = peek(0);
        const Token* r = generation && generation->kind == TokenKind::Integer ? peek(1) : nullptr;
        if (!r || r->kind != TokenKind::Keyword || r->keyword != "R") {
            out.value.emplace<Number>(first);
            return;
        }
        if (first < 0 || first > 0xFFFFFFFFLL) throw PdfError::invalid_token(remembered, "invalid object number");
        if (generation->integer < 0 || generation->integer > 0xFFFF)
            throw PdfError::invalid_token(remembered, "invalid generation");
        out.value.emplace<ObjectId>(static_cast<std::uint32_t>(first), static_cast<std::uint16_t>(generation->integer));
        advance();
        advance();
    }

    // An element of an array or dictionary: literals are allowed there too.
    void fill_element(Object& out, unsigned depth) {
        const Token& token = current();
        if (token.kind == TokenKind::Keyword) {
            if (token.keyword == "true") {
                out.value = true;
                return;
            }
            if (token.keyword == "false") {
                out.value = false;
                return;
            }
            if (token.keyword == "null") return;  // `out` starts as null
        }
        fill(out, depth);
    }

    // Builds the object of the current token (and those it needs) in place in `out`.
    void fill(Object& out, unsigned depth) {
        const Token& token = current();
        switch (token.kind) {
            case TokenKind::Name:
                out.value.emplace<Name>().bytes.assign(token.bytes);
                return;
            case TokenKind::String:
                out.value.emplace<String>().bytes.assign(token.bytes);
                return;
            case TokenKind::Real:
                out.value.emplace<Number>(token.real);
                return;
            case TokenKind::Integer:
                number_or_reference(out, token.integer);
                return;
            case TokenKind::ArrayStart: {
                check_depth(token, depth);
                // Elements gather on a shared stack so the array is allocated once.
                const std::size_t mark = items_.size();
                while (read().kind != TokenKind::ArrayEnd) {
                    Object element;
                    fill_element(element, depth + 1);
                    items_.push_back(std::move(element));
                }
                out.value.emplace<Array>(std::make_move_iterator(items_.begin() + static_cast<std::ptrdiff_t>(mark)),
                                         std::make_move_iterator(items_.end()));
                items_.resize(mark);
                return;
            }
            case TokenKind::DictStart: {
                check_depth(token, depth);
                std::vector<Dictionary::Entry> entries;
                for (;;) {
                    const Token& key = read();
                    if (key.kind == TokenKind::DictEnd) break;
                    if (key.kind != TokenKind::Name)
                        throw PdfError::invalid_token(key.offset, "expected content dictionary key");
                    Dictionary::Entry& entry = entries.emplace_back(key.bytes, Object());
                    read();
                    fill_element(entry.second, depth + 1);
                }
                out.value.emplace<Dictionary>(std::move(entries));
                return;
            }
            default:
                throw PdfError::invalid_token(current_end(), "unexpected content token " + token_debug(token));
        }
    }

    static void check_depth(const Token& token, unsigned depth) {
        if (depth >= kMaxNestingDepth)
            throw PdfError::invalid_token(token.offset, "array or dictionary nesting is too deep");
    }

    // Image data is binary: it is skipped up to an EI that stands alone, not tokenised.
    // False when no such EI exists, in which case the image runs to the end.
    bool skip_inline_image_data() {
        pending_ = 0;  // nothing is read ahead of an operator
        std::size_t start = current_end();
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
            ring_[head_].end = after;
            return true;
        }
    }

    static constexpr unsigned kRing = 3;

    std::string_view data_;
    Lexer lexer_;
    std::vector<Object> items_;
    Slot ring_[kRing];
    unsigned head_ = 0;
    unsigned pending_ = 0;  // tokens lexed ahead of the current one
};

}  // namespace

void for_each_content_operation(std::string_view bytes, const ContentVisitor& visit) {
    ContentParser(bytes).run(visit);
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
    ContentParser(bytes).run(collect);
    return operations;
}

}  // namespace quarvel
