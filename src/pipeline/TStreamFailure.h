#pragma once

#include <exception>

namespace kestrune {

// A failure of the program's own stream met inside a C library's callback.
// No exception may cross the library, so the callback keeps the first one
// and the reader raises it again once the library's call has returned.
class TStreamFailure {
public:
    // Called inside a catch block.
    void Keep() noexcept
    {
        if (!Failure)
            Failure = std::current_exception();
    }
    void Rethrow()
    {
        if (Failure) {
            std::exception_ptr failure = Failure;
            Failure = nullptr;
            std::rethrow_exception(failure);
        }
    }
    void Clear() noexcept { Failure = nullptr; }
    explicit operator bool() const noexcept { return static_cast<bool>(Failure); }

private:
    std::exception_ptr Failure;
};

} // namespace kestrune
