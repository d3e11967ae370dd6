// The object-syntax tokenizer: every token consumes input and lies inside it; after a
// refused token lexing resumes one byte further, so the whole input is covered.
#include "lexer.hpp"

#include "fuzz_target.hpp"

QUARVEL_FUZZ_TARGET(lexer) {
    quarvel::Lexer lexer(data);
    quarvel::Token token;
    std::size_t errors = 0;
    for (std::size_t steps = 0;; ++steps) {
        QUARVEL_FUZZ_CHECK(steps <= data.size() + 1);
        const std::uint64_t before = lexer.pos();
        try {
            if (!lexer.next_token_or_end(token)) break;
        } catch (const quarvel::PdfError&) {
            ++errors;
            lexer.set_pos(before + 1);
            if (before + 1 >= data.size()) break;
            continue;
        }
        QUARVEL_FUZZ_CHECK(lexer.pos() > before && lexer.pos() <= data.size());
        QUARVEL_FUZZ_CHECK(token.offset >= before && token.offset < lexer.pos());
        if (token.kind == quarvel::TokenKind::Keyword) QUARVEL_FUZZ_CHECK(!token.keyword.empty());
    }
    (void)errors;
}
