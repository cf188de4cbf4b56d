#include "base/JobObserver.h"

namespace vok {

std::string_view FileOutcomeName(FileOutcome::Kind kind) {
    switch (kind) {
    case FileOutcome::Kind::Converted:
        return "Converted";
    case FileOutcome::Kind::Skipped:
        return "Skipped";
    case FileOutcome::Kind::Failed:
        return "Failed";
    }
    return "?";
}

} // namespace vok
