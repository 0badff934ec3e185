#pragma once
// Runs a function when the scope ends, however it ends (a return, an exception).
// Thread: any.

namespace platform {

template <typename F>
struct TScopeExit {
    F f;
    ~TScopeExit() { f(); }
};
template <typename F>
TScopeExit(F) -> TScopeExit<F>;

} // namespace platform
