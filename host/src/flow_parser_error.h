// The text of a filter error: the expression, the byte position and what went wrong.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace kvFilter {

// Makes `filter "<expr>": position <position>: <message>`; positions count bytes from 0.
std::string MakeError(std::string_view expr, size_t position, std::string_view message);

// Throws MakeError(expr, position, message) as a std::string.
[[noreturn]] void ThrowError(std::string_view expr, size_t position, std::string_view message);

}  // namespace kvFilter
