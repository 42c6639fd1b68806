#include "standin/server/Statement.h"

#include "base/Ascii.h"

#include <charconv>
#include <vector>

namespace vantero::standin {

namespace {

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits the statement into words and string literals. A literal's body has its doubled quotes
// undone; a literal without its closing quote is an error, not a word.
std::vector<Token> tokens(std::string_view text, std::string_view statement) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        if (isBlank(text[i])) {
            ++i;
            continue;
        }
        Token token;
        if (text[i] == '"') {
            token.quoted = true;
            ++i;
            bool closed = false;
            while (i < text.size()) {
                if (text[i] == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        token.text += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                token.text += text[i++];
            }
            if (!closed)
                throw StatementError("Unterminated string in: " + std::string(statement));
            // MapBasic needs a blank between a literal and the next word.
            if (i < text.size() && !isBlank(text[i]))
                throw StatementError("Unrecognized command: " + std::string(statement));
        } else {
            while (i < text.size() && !isBlank(text[i]) && text[i] != '"')
                token.text += text[i++];
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

class Reader {
public:
    explicit Reader(std::string_view statement)
        : m_statement(statement), m_tokens(tokens(statement, statement)) {}

    bool atEnd() const { return m_at == m_tokens.size(); }
    // Takes the next word when it is the keyword.
    bool take(std::string_view keyword) {
        if (atEnd() || m_tokens[m_at].quoted ||
            !equalsIgnoringAsciiCase(m_tokens[m_at].text, keyword))
            return false;
        ++m_at;
        return true;
    }
    bool starts(std::initializer_list<std::string_view> keywords) {
        const std::size_t start = m_at;
        for (std::string_view k : keywords)
            if (!take(k)) {
                m_at = start;
                return false;
            }
        return true;
    }
    const Token* next() { return atEnd() ? nullptr : &m_tokens[m_at++]; }

    [[noreturn]] void unrecognized() const {
        throw StatementError("Unrecognized command: " + std::string(m_statement));
    }
    [[noreturn]] void fail(const std::string& what) const {
        throw StatementError(what + " in: " + std::string(m_statement));
    }
    void end() const {
        if (!atEnd())
            fail("Unexpected \"" + m_tokens[m_at].text + "\"");
    }

    std::uint64_t window() {
        const Token* t = next();
        if (!t || t->quoted)
            fail("A window handle is missing");
        std::uint64_t value = 0;
        const char* end = t->text.data() + t->text.size();
        const auto [ptr, ec] = std::from_chars(t->text.data(), end, value);
        if (ec != std::errc() || ptr != end)
            fail("The window handle \"" + t->text + "\" is not a number");
        return value;
    }

    // A table's alias: any unquoted word here; whether it is a valid name is the session's call,
    // so that its message can name it.
    std::string alias() {
        const Token* t = next();
        if (!t || t->quoted)
            fail("A table name is missing");
        return t->text;
    }

private:
    std::string_view m_statement;
    std::vector<Token> m_tokens;
    std::size_t m_at = 0;
};

Statement parsePack(Reader& r) {
    PackTableStatement pack;
    pack.alias = r.alias();
    while (!r.atEnd()) {
        if (!pack.graphic && r.take("Graphic"))
            pack.graphic = true;
        else if (!pack.data && r.take("Data"))
            pack.data = true;
        else
            r.end();
    }
    if (!pack.graphic && !pack.data)
        r.fail("Pack Table needs Graphic, Data or both");
    return pack;
}

Statement parseOpen(Reader& r) {
    const Token* path = r.next();
    if (!path || !path->quoted)
        r.fail("Open Table needs the table's path in double quotes");
    OpenTable open{path->text, std::nullopt};
    if (r.take("As"))
        open.alias = r.alias();
    r.end();
    return open;
}

} // namespace

Statement parseStatement(std::string_view text) {
    Reader r(text);
    if (r.starts({"Set", "Next", "Document", "Parent"})) {
        SetNextDocumentParent set{r.window()};
        if (!r.starts({"Style", "1"}))
            r.fail("Set Next Document Parent needs Style 1");
        r.end();
        return set;
    }
    if (r.starts({"Set", "Application", "Window"})) {
        SetApplicationWindow set{r.window()};
        r.end();
        return set;
    }
    if (r.starts({"Set", "ProgressBars"})) {
        SetProgressBars set{true};
        if (r.take("Off"))
            set.on = false;
        else if (!r.take("On"))
            r.fail("Set ProgressBars needs On or Off");
        r.end();
        return set;
    }
    if (r.starts({"Open", "Table"}))
        return parseOpen(r);
    if (r.starts({"Pack", "Table"}))
        return parsePack(r);
    if (r.starts({"Close", "All"})) {
        r.end();
        return CloseAll{};
    }
    if (r.starts({"Close", "Table"})) {
        CloseTable close{r.alias()};
        r.end();
        return close;
    }
    r.unrecognized();
}

} // namespace vantero::standin
