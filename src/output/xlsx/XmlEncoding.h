// The character encodings of the XML parts of an .xlsx package. Most parts
// are UTF-8, but a part may declare another encoding: vok reads every part as
// UTF-8 and writes a part it changed back in the encoding the part had, its
// byte-order mark and declaration included, so that every reader sees what
// the part declares.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vok {

enum class PartEncoding { Utf8, Utf16Le, Utf16Be, Latin1, Ascii };

// The encoding of a part, from its byte-order mark, its first bytes or its
// declaration; false, with the reason as a predicate ("is stored in ..."),
// for one vok cannot read and write back (UTF-32, Windows code pages, East
// Asian encodings). It looks at the first kDeclarationReach bytes only.
inline constexpr size_t kDeclarationReach = 1024; // the declaration stands at the very start
bool DetectPartEncoding(std::string_view bytes, PartEncoding& encoding, std::string& why);

// The name expat knows the encoding by, for reading a part as it is stored.
const char* ExpatEncodingName(PartEncoding encoding);

// Converts a part's bytes to UTF-8 in place (nothing to do for UTF-8); a
// byte-order mark stays, as U+FEFF. False, with the reason, when the bytes
// are not valid in the encoding.
bool DecodePart(std::string& bytes, PartEncoding encoding, std::string& why);

// Encodes UTF-8 text back into a part's encoding, a block at a time: a
// character split between two blocks waits for its rest. A character that
// ISO-8859-1 or US-ASCII cannot hold becomes a character reference, which
// is right where vok puts text of its own: in character data and attribute
// values.
class PartEncoder {
public:
    explicit PartEncoder(PartEncoding encoding) : encoding_(encoding) {}

    // Appends the encoded form of `utf8` (after what earlier blocks left open).
    void Append(std::string& out, std::string_view utf8);
    // Ends the part: an unfinished character left by the last block becomes U+FFFD.
    void Finish(std::string& out);
    // The whole of a part at once.
    static std::string Encode(std::string_view utf8, PartEncoding encoding);

private:
    void AppendComplete(std::string& out, std::string_view utf8) const;

    PartEncoding encoding_;
    std::string pending_; // the start of a character the next block completes
};

} // namespace vok
