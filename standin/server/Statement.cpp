#include "standin/server/Statement.h"

#include <charconv>
#include <vector>

namespace vantero::standin {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

char Lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameWord(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Lower(a[i]) != Lower(b[i]))
            return false;
    return true;
}

struct Token {
    std::string text;
    bool quoted = false;
};

// Splits the statement into words and string literals. A literal's body has its doubled quotes
// undone; a literal without its closing quote is an error, not a word.
std::vector<Token> Tokens(std::string_view text, std::string_view statement) {
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
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
            if (i < text.size() && !IsBlank(text[i]))
                throw StatementError("Unrecognized command: " + std::string(statement));
        } else {
            while (i < text.size() && !IsBlank(text[i]) && text[i] != '"')
                token.text += text[i++];
        }
        tokens.push_back(std::move(token));
    }
    return tokens;
}

class Reader {
public:
    explicit Reader(std::string_view statement)
        : statement_(statement), tokens_(Tokens(statement, statement)) {}

    bool AtEnd() const { return at_ == tokens_.size(); }
    // Takes the next word when it is the keyword.
    bool Take(std::string_view keyword) {
        if (AtEnd() || tokens_[at_].quoted || !SameWord(tokens_[at_].text, keyword))
            return false;
        ++at_;
        return true;
    }
    bool Starts(std::initializer_list<std::string_view> keywords) {
        const std::size_t start = at_;
        for (std::string_view k : keywords)
            if (!Take(k)) {
                at_ = start;
                return false;
            }
        return true;
    }
    const Token* Next() { return AtEnd() ? nullptr : &tokens_[at_++]; }

    [[noreturn]] void Unrecognized() const {
        throw StatementError("Unrecognized command: " + std::string(statement_));
    }
    [[noreturn]] void Fail(const std::string& what) const {
        throw StatementError(what + " in: " + std::string(statement_));
    }
    void End() const {
        if (!AtEnd())
            Fail("Unexpected \"" + tokens_[at_].text + "\"");
    }

    std::uint64_t Window() {
        const Token* t = Next();
        if (!t || t->quoted)
            Fail("A window handle is missing");
        std::uint64_t value = 0;
        const char* end = t->text.data() + t->text.size();
        const auto [ptr, ec] = std::from_chars(t->text.data(), end, value);
        if (ec != std::errc() || ptr != end)
            Fail("The window handle \"" + t->text + "\" is not a number");
        return value;
    }

    // A table's alias: any unquoted word here; whether it is a valid name is the session's call,
    // so that its message can name it.
    std::string Alias() {
        const Token* t = Next();
        if (!t || t->quoted)
            Fail("A table name is missing");
        return t->text;
    }

private:
    std::string_view statement_;
    std::vector<Token> tokens_;
    std::size_t at_ = 0;
};

Statement ParsePack(Reader& r) {
    PackTableStatement pack;
    pack.alias = r.Alias();
    while (!r.AtEnd()) {
        if (!pack.graphic && r.Take("Graphic"))
            pack.graphic = true;
        else if (!pack.data && r.Take("Data"))
            pack.data = true;
        else
            r.End();
    }
    if (!pack.graphic && !pack.data)
        r.Fail("Pack Table needs Graphic, Data or both");
    return pack;
}

Statement ParseOpen(Reader& r) {
    const Token* path = r.Next();
    if (!path || !path->quoted)
        r.Fail("Open Table needs the table's path in double quotes");
    OpenTable open{path->text, std::nullopt};
    if (r.Take("As"))
        open.alias = r.Alias();
    r.End();
    return open;
}

} // namespace

Statement ParseStatement(std::string_view text) {
    Reader r(text);
    if (r.Starts({"Set", "Next", "Document", "Parent"})) {
        SetNextDocumentParent set{r.Window()};
        if (!r.Starts({"Style", "1"}))
            r.Fail("Set Next Document Parent needs Style 1");
        r.End();
        return set;
    }
    if (r.Starts({"Set", "Application", "Window"})) {
        SetApplicationWindow set{r.Window()};
        r.End();
        return set;
    }
    if (r.Starts({"Set", "ProgressBars"})) {
        SetProgressBars set{true};
        if (r.Take("Off"))
            set.on = false;
        else if (!r.Take("On"))
            r.Fail("Set ProgressBars needs On or Off");
        r.End();
        return set;
    }
    if (r.Starts({"Open", "Table"}))
        return ParseOpen(r);
    if (r.Starts({"Pack", "Table"}))
        return ParsePack(r);
    if (r.Starts({"Close", "All"})) {
        r.End();
        return CloseAll{};
    }
    if (r.Starts({"Close", "Table"})) {
        CloseTable close{r.Alias()};
        r.End();
        return close;
    }
    r.Unrecognized();
}

} // namespace vantero::standin
