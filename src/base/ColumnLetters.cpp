#include "base/ColumnLetters.h"

#include "base/TextEncoding.h"

#include <algorithm>

namespace vok {

namespace {

constexpr std::string_view kBadNumber = "unexpected number code in xl.NumToAlpha2!";
constexpr std::string_view kBadLength = "unexpected letter code in xl.AlphaToNum2!";
constexpr std::string_view kBadLetter = "unexpected Letter code in utilities.AlphaToNum!";

char Letter(int32_t n) {
    return static_cast<char>('A' + n - 1);
}

// One letter's number, 1 to 26; 0 and a problem for anything else.
int32_t LetterNumber(std::string_view letter, std::vector<std::string_view>& problems) {
    char c = letter.size() == 1 ? letter.front() : '\0';
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c < 'A' || c > 'Z') {
        problems.push_back(kBadLetter);
        return 0;
    }
    return c - 'A' + 1;
}

} // namespace

Checked<std::string> NumToAlpha2(int32_t n) {
    if (n > 702 || n < 1) return {{}, {kBadNumber}};
    if (n <= 26) return {std::string(1, Letter(n)), {}};
    const int32_t second = n % 26 == 0 ? 26 : n % 26;
    return {std::string{Letter((n - 1) / 26), Letter(second)}, {}};
}

Checked<int32_t> AlphaToNum2(std::string_view letters) {
    // Lengths count characters: "é" is one (wrong) letter, not two bytes.
    const size_t length = CharCount(letters);
    Checked<int32_t> result;
    if (length == 0 || length >= 3) {
        result.problems.push_back(kBadLength);
    } else if (length == 1) {
        result.value = LetterNumber(letters, result.problems);
    } else {
        const int32_t first = LetterNumber(CharSubstr(letters, 0, 1), result.problems);
        result.value = 26 * first + LetterNumber(CharSubstr(letters, 1, 1), result.problems);
    }
    return result;
}

bool AreColumnLetters(std::string_view letters) {
    return !letters.empty() && std::all_of(letters.begin(), letters.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

} // namespace vok
