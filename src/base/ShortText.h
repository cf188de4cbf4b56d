// A text that is nearly always a few bytes (a column's letters, an
// operator's name) in 16 bytes rather than a std::string's 32: up to 15
// bytes lie in the object itself, a longer text in a block of its own. A
// recipe of many tables holds several such texts per column, and every byte
// of them per table adds up in pages touched.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace vok {

class ShortText {
public:
    ShortText() noexcept { SetEmpty(); }
    // Converts as a std::string does, from a view or a literal.
    ShortText(std::string_view text) { Set(text); }
    ShortText(const char* text) : ShortText(std::string_view(text)) {}
    ShortText(const ShortText& other) { Set(other.View()); }
    ShortText(ShortText&& other) noexcept;
    ShortText& operator=(const ShortText& other);
    ShortText& operator=(ShortText&& other) noexcept;
    ShortText& operator=(std::string_view text);
    ShortText& operator=(const char* text) { return *this = std::string_view(text); }
    ~ShortText() { Release(); }

    void assign(std::string_view text) { *this = text; }
    std::string_view View() const noexcept {
        if (!OnHeap()) return {bytes_, static_cast<unsigned char>(bytes_[kTag])};
        const char* block = Block();
        size_t size = 0;
        std::memcpy(&size, block, sizeof size);
        return {block + sizeof size, size};
    }
    operator std::string_view() const noexcept { return View(); }
    std::string str() const { return std::string(View()); }
    const char* data() const noexcept { return View().data(); }
    size_t size() const noexcept { return View().size(); }
    bool empty() const noexcept { return View().empty(); }

    // Compared as its text, with a view, a string, a literal or another.
    friend bool operator==(const ShortText& a, std::string_view b) noexcept {
        return a.View() == b;
    }

private:
    // In place: the text in bytes_[0 .. 15) and its length in bytes_[15].
    // On the heap: the block's address in bytes_[0 .. 8) and kOnHeap in
    // bytes_[15]; the block holds the length, then the text.
    static constexpr size_t kTag = 15;
    static constexpr size_t kInPlace = 15;
    static constexpr unsigned char kOnHeap = 0xFF;

    bool OnHeap() const noexcept { return static_cast<unsigned char>(bytes_[kTag]) == kOnHeap; }
    char* Block() const noexcept {
        char* block = nullptr;
        std::memcpy(&block, bytes_, sizeof block);
        return block;
    }
    void SetEmpty() noexcept { bytes_[kTag] = 0; }
    void Set(std::string_view text);
    void Release() noexcept;

    alignas(char*) char bytes_[16];
};

static_assert(sizeof(ShortText) == 16);

} // namespace vok
