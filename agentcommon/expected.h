// A value, or the reason there is none: the one shape in which the library's operations
// that can fail answer. GCC 12 has no std::expected; this is the little of it we use.
#pragma once

#include <string>
#include <utility>
#include <variant>

namespace Ardentis {

// The reason, marked as such so that a string error cannot be taken for a string value.
template <typename E>
struct Unexpected {
    E error;
};

template <typename E>
Unexpected<E> Fail(E error) {
    return {std::move(error)};
}
inline Unexpected<std::string> Fail(const char* error) {
    return {error};
}

template <typename T, typename E = std::string>
class Expected {
  public:
    Expected(T value) : state_(std::in_place_index<0>, std::move(value)) {}
    template <typename F>
    Expected(Unexpected<F> failure) : state_(std::in_place_index<1>, std::move(failure.error)) {}

    bool HasValue() const { return state_.index() == 0; }
    explicit operator bool() const { return HasValue(); }
    // Only when HasValue().
    const T& operator*() const { return std::get<0>(state_); }
    T& operator*() { return std::get<0>(state_); }
    const T* operator->() const { return &std::get<0>(state_); }
    // Only when !HasValue().
    const E& Error() const { return std::get<1>(state_); }

  private:
    std::variant<T, E> state_;
};

}  // namespace Ardentis
