#include "folders/linux/NameOrder.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <utility>

namespace vantero {
namespace {

// The user's language as Qt reads it for its collator: LC_ALL, then LC_MESSAGES, then LANG, without
// the encoding or modifier ("de_DE" of "de_DE.UTF-8@euro").
std::string userLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
        if (const char* value = std::getenv(variable); value != nullptr && *value != '\0') {
            const std::string name = value;
            return name.substr(0, name.find_first_of(".@"));
        }
    return "C";
}

// Case-folded UTF-16; bytes that are not UTF-8 become U+FFFD, as the tree shows them.
std::u16string foldedText(const std::string& name) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    const auto size = static_cast<int32_t>(name.size());
    u_strFromUTF8WithSub(nullptr, 0, &length, name.data(), size, 0xFFFD, nullptr, &status);
    std::u16string text(static_cast<std::size_t>(length), u'\0');
    status = U_ZERO_ERROR;
    u_strFromUTF8WithSub(text.data(), length, nullptr, name.data(), size, 0xFFFD, nullptr, &status);
    std::u16string folded(text.size() + 16, u'\0');
    for (;;) {
        status = U_ZERO_ERROR;
        const int32_t got = u_strFoldCase(folded.data(), static_cast<int32_t>(folded.size()),
                                          text.data(), length, U_FOLD_CASE_DEFAULT, &status);
        if (status != U_BUFFER_OVERFLOW_ERROR) {
            folded.resize(U_SUCCESS(status) ? static_cast<std::size_t>(got) : 0);
            return folded;
        }
        folded.resize(static_cast<std::size_t>(got));
    }
}

// The C locale orders by code point, which UTF-8's bytes keep.
std::string codePointKey(const std::u16string& text) {
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    const auto size = static_cast<int32_t>(text.size());
    u_strToUTF8(nullptr, 0, &length, text.data(), size, &status);
    std::string key(static_cast<std::size_t>(length), '\0');
    status = U_ZERO_ERROR;
    u_strToUTF8(key.data(), length, nullptr, text.data(), size, &status);
    return key;
}

std::string collationKey(const UCollator* collator, const std::u16string& text) {
    const auto size = static_cast<int32_t>(text.size());
    std::string key(text.size() * 2 + 16, '\0');
    for (;;) {
        const int32_t needed =
            ucol_getSortKey(collator, text.data(), size, reinterpret_cast<uint8_t*>(key.data()),
                            static_cast<int32_t>(key.size()));
        // The key ends in a zero byte, which is no part of the comparison.
        if (needed <= static_cast<int32_t>(key.size())) {
            key.resize(needed > 0 ? static_cast<std::size_t>(needed - 1) : 0);
            return key;
        }
        key.resize(static_cast<std::size_t>(needed));
    }
}

} // namespace

std::vector<std::string> inNameOrder(std::vector<std::string> names) {
    const std::string language = userLanguage();
    std::unique_ptr<UCollator, decltype(&ucol_close)> collator(nullptr, &ucol_close);
    if (language != "C" && language != "POSIX") {
        UErrorCode status = U_ZERO_ERROR;
        collator.reset(ucol_open(language.c_str(), &status));
        if (U_FAILURE(status))
            collator.reset();
        else {
            ucol_setAttribute(collator.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
            ucol_setStrength(collator.get(), UCOL_SECONDARY); // case aside, accents not
        }
    }
    // A key per name, made once: comparing through the collator decodes both names every time.
    std::vector<std::pair<std::string, std::size_t>> keys;
    keys.reserve(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        const std::u16string text = foldedText(names[i]);
        keys.emplace_back(collator ? collationKey(collator.get(), text) : codePointKey(text), i);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(names[key.second]));
    return sorted;
}

} // namespace vantero
