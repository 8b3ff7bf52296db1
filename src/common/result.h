// Result and Error: how a reader or a phase reports an expected failure without throwing.
#pragma once

#include <cassert>
#include <string>
#include <utility>
#include <variant>

namespace common {

enum class ErrorKind {
    InvalidArgument, // the caller asked for something that cannot be done
    NotFound,        // a file, table or index that should be there is not
    NotSupported,    // a valid input this program does not handle
    Corruption,      // damaged input: expected, never a crash
    Io,              // the operating system refused a read, write or move
    Database,        // the SQL server or its driver refused
};

struct Error
{
    ErrorKind kind;
    std::string message; // lower case, unique per site: "heap top beyond page end"
    std::string where;   // added by the caller that knows it: "ibdata1 page 812"

    std::string describe() const { return where.empty() ? message : where + ": " + message; }
};

// A T or the Error that explains why there is none, in the manner of absl::StatusOr.
template <typename T>
class [[nodiscard]] Result
{
public:
    Result(T value) : m_state(std::move(value)) {}
    Result(Error error) : m_state(std::move(error)) {}

    bool ok() const { return std::holds_alternative<T>(m_state); }
    explicit operator bool() const { return ok(); }

    const T &value() const &
    {
        assert(ok());
        return std::get<T>(m_state);
    }
    T &value() &
    {
        assert(ok());
        return std::get<T>(m_state);
    }
    T &&value() &&
    {
        assert(ok());
        return std::get<T>(std::move(m_state));
    }
    const T &operator*() const & { return value(); }
    T &operator*() & { return value(); }
    const T *operator->() const { return &value(); }
    T *operator->() { return &value(); }

    const Error &error() const
    {
        assert(!ok());
        return std::get<Error>(m_state);
    }

private:
    std::variant<T, Error> m_state;
};

using Status = Result<std::monostate>;

inline Status okStatus() { return std::monostate {}; }

inline Error corruption(std::string message, std::string where = {})
{
    return Error { ErrorKind::Corruption, std::move(message), std::move(where) };
}

inline Error ioError(std::string message, std::string where = {})
{
    return Error { ErrorKind::Io, std::move(message), std::move(where) };
}

} // namespace common
