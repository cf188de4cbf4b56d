// What an operation below the engine gives back instead of showing a message:
// it succeeded, or why not, in words the caller puts into its own message.
//
// `Status` is success or a cause; `Expected<T>` is a value or a cause. Both
// are [[nodiscard]]: a failure cannot be dropped by forgetting to look.
// `Checked<T>` is a value that stands even when the input was faulty, with
// the fixed texts of what was wrong, in order; the caller decides whether and
// where to show them (`ShowProblems` in Messages.h). docs/ARCHITECTURE.md
// ("Cross-cutting concerns") says which layer uses which.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace vok {

class [[nodiscard]] Status {
public:
    static Status Ok() { return Status(); }
    static Status Failed(std::string cause) { return Status(std::move(cause), true); }

    bool ok() const { return !failed_; }
    explicit operator bool() const { return ok(); }
    // The cause; empty on success.
    const std::string& Error() const { return cause_; }

private:
    Status() = default;
    Status(std::string cause, bool failed) : cause_(std::move(cause)), failed_(failed) {}

    std::string cause_;
    bool failed_ = false;
};

template <typename T> class [[nodiscard]] Expected {
public:
    Expected(T value) : content_(std::in_place_index<0>, std::move(value)) {}
    Expected(Status failure) : content_(std::in_place_index<1>, failure.Error()) {}

    bool ok() const { return content_.index() == 0; }
    explicit operator bool() const { return ok(); }
    T& operator*() { return std::get<0>(content_); }
    const T& operator*() const { return std::get<0>(content_); }
    T* operator->() { return &std::get<0>(content_); }
    const T* operator->() const { return &std::get<0>(content_); }
    // The cause; empty on success.
    const std::string& Error() const {
        static const std::string none;
        return ok() ? none : std::get<1>(content_);
    }
    Status AsStatus() const { return ok() ? Status::Ok() : Status::Failed(Error()); }

private:
    std::variant<T, std::string> content_;
};

template <typename T> struct [[nodiscard]] Checked {
    T value{};
    // The fixed texts of what was wrong with the input; they are literals.
    std::vector<std::string_view> problems;

    bool ok() const { return problems.empty(); }
};

} // namespace vok
