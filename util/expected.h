// A value, or why there is none: the one shape in which every operation of the program
// that can fail answers. GCC 12 has no std::expected; this is the little of it we use.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace util {

// Why an operation failed. reason: in words, ready for a message or the log; each
// function's header says what it holds. code: for callers that tell failures apart (each
// header says which codes), otherwise 0.
struct Error {
    std::string reason;
    long code = 0;
};

// A failure, marked as such so that a reason cannot be taken for a string value.
struct Unexpected {
    Error error;
};

inline Unexpected Fail(std::string reason, long code = 0) {
    return {Error{std::move(reason), code}};
}
inline Unexpected Fail(Error error) {
    return {std::move(error)};
}

template <typename T = void>
class [[nodiscard]] Expected {
  public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    Expected(Unexpected failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool HasValue() const { return state_.index() == 0; }
    explicit operator bool() const { return HasValue(); }
    // Only when HasValue().
    const T& operator*() const { return std::get<0>(state_); }
    T& operator*() { return std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    // Only when !HasValue().
    const util::Error& Error() const { return std::get<1>(state_); }

  private:
    std::variant<T, util::Error> state_;
};

// Done, or why not.
template <>
class [[nodiscard]] Expected<void> {
  public:
    Expected() = default;
    Expected(Unexpected failure) : failed_(true), error_(std::move(failure.error)) {}

    bool HasValue() const { return !failed_; }
    explicit operator bool() const { return HasValue(); }
    // Only when !HasValue().
    const util::Error& Error() const { return error_; }

  private:
    bool failed_ = false;
    util::Error error_;
};

}  // namespace util
