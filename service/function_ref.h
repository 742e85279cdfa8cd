#pragma once

#include <memory>
#include <type_traits>
#include <utility>

namespace tarnwick {

template <typename Signature>
class FunctionRef;

// A reference to a callable for a parameter that is only called before the
// function returns. Unlike std::function it neither copies nor allocates, and
// each lambda costs one small call thunk instead of a manager and an invoker,
// which in a program of many one-line lambdas is a good part of its size.
template <typename Result, typename... Args>
class FunctionRef<Result(Args...)> {
public:
    template <typename Callable,
              typename = std::enable_if_t<!std::is_same_v<std::decay_t<Callable>, FunctionRef>>>
    FunctionRef(Callable&& callable) noexcept  // implicit, as std::function's is
        : object_(const_cast<void*>(static_cast<const void*>(std::addressof(callable)))),
          call_([](void* object, Args... args) -> Result {
              return (*static_cast<std::remove_reference_t<Callable>*>(object))(std::forward<Args>(args)...);
          }) {}

    Result operator()(Args... args) const { return call_(object_, std::forward<Args>(args)...); }

private:
    void* object_;
    Result (*call_)(void*, Args...);
};

}  // namespace tarnwick
