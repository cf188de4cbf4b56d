#include "base/ColumnLetters.h"

#include "base/Messages.h"
#include "base/TextEncoding.h"

#include <algorithm>

namespace vok {

std::string NumToAlpha2(Messages& messages, int32_t n) {
    if (n > 702 || n < 1) {
        messages.Show("unexpected number code in xl.NumToAlpha2!", MessageIcon::Critical);
        return {};
    }
    if (n <= 26) return NumToAlpha(messages, n);
    const int32_t second = n % 26 == 0 ? 26 : n % 26;
    return NumToAlpha(messages, (n - 1) / 26) + NumToAlpha(messages, second);
}

int32_t AlphaToNum2(Messages& messages, std::string_view letters) {
    // Lengths count characters: "é" is one (wrong) letter, not two bytes.
    const size_t length = CharCount(letters);
    if (length == 0 || length >= 3) {
        messages.Show("unexpected letter code in xl.AlphaToNum2!", MessageIcon::Critical);
        return 0;
    }
    if (length == 1) return AlphaToNum(messages, letters);
    return 26 * AlphaToNum(messages, CharSubstr(letters, 0, 1)) +
           AlphaToNum(messages, CharSubstr(letters, 1, 1));
}

bool AreColumnLetters(std::string_view letters) {
    return !letters.empty() && std::all_of(letters.begin(), letters.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

std::string NumToAlpha(Messages& messages, int32_t n) {
    if (n < 1 || n > 26) {
        messages.Show("unexpected number code in utilities.NumToAlpha!", MessageIcon::Critical);
        return {};
    }
    return std::string(1, static_cast<char>('A' + n - 1));
}

int32_t AlphaToNum(Messages& messages, std::string_view letter) {
    char c = letter.size() == 1 ? letter.front() : '\0';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') {
        messages.Show("unexpected Letter code in utilities.AlphaToNum!", MessageIcon::Critical);
        return 0;
    }
    return c - 'A' + 1;
}

} // namespace vok
