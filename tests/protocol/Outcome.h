#pragma once

#include <functional>
#include <ostream>
#include <string>

// What an operation ended with, by exception class, so that tables of cases can say it.
struct Outcome
{
    enum Kind
    {
        Done,
        SocketError,
        SocketTimeOut,
        AuthError,
        ConnectError,
        InvalidRequest,
        Other,
    };

    Kind kind = Done;
    std::string message;
    int code = 0;

    bool operator==(const Outcome& other) const = default;
};

inline Outcome Ok()
{
    return {};
}
inline Outcome SocketFailure(const std::string& message, int code = 10)
{
    return {Outcome::SocketError, message, code};
}
inline Outcome Auth()
{
    return {Outcome::AuthError, "Invalid password!", 0};
}
inline Outcome Unsupported()
{
    return {Outcome::InvalidRequest, "Request is not supported!!", 0};
}

Outcome CatchOutcome(const std::function<void()>& operation);

// Waits for an operation run elsewhere and reports how it ended.
template <typename Future> Outcome Finish(Future& future)
{
    return CatchOutcome([&] { future.get(); });
}

std::ostream& operator<<(std::ostream& out, const Outcome& outcome);
