#include "base/ShortText.h"

#include <memory>
#include <utility>

namespace vok {

void ShortText::Set(std::string_view text) {
    if (text.size() <= kInPlace) {
        // An empty view may have no address, which memcpy must not be given.
        if (!text.empty()) std::memcpy(bytes_, text.data(), text.size());
        bytes_[kTag] = static_cast<char>(text.size());
        return;
    }
    const size_t size = text.size();
    char* block = std::allocator<char>().allocate(sizeof size + size);
    std::memcpy(block, &size, sizeof size);
    std::memcpy(block + sizeof size, text.data(), size);
    std::memcpy(bytes_, &block, sizeof block);
    bytes_[kTag] = static_cast<char>(kOnHeap);
}

void ShortText::Release() noexcept {
    if (!OnHeap()) return;
    std::allocator<char>().deallocate(Block(), sizeof(size_t) + View().size());
    SetEmpty();
}

ShortText::ShortText(ShortText&& other) noexcept {
    std::memcpy(bytes_, other.bytes_, sizeof bytes_);
    other.SetEmpty();
}

ShortText& ShortText::operator=(ShortText&& other) noexcept {
    if (this != &other) {
        Release();
        std::memcpy(bytes_, other.bytes_, sizeof bytes_);
        other.SetEmpty();
    }
    return *this;
}

ShortText& ShortText::operator=(const ShortText& other) {
    if (this != &other) *this = other.View();
    return *this;
}

ShortText& ShortText::operator=(std::string_view text) {
    // Made first: `text` may lie in this very object.
    ShortText made(text);
    return *this = std::move(made);
}

} // namespace vok
