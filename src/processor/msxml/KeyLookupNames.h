#pragma once

#include <string_view>

namespace zandrel::processor {

// The lookups' function names, without a prefix, as the processor's own functions are named: a
// namespace would have to be declared in the style sheet, and literal result elements would
// copy it into the output.
namespace key_lookup {
// key(name, value)[1]: the first node of the group, as key() gives it.
inline constexpr std::string_view first = "zandrel.key-first";
// The group's first node in document order, which generate-id(key(name, value)) names.
inline constexpr std::string_view least = "zandrel.key-least";
// count(key(name, value)).
inline constexpr std::string_view count = "zandrel.key-count";
} // namespace key_lookup

} // namespace zandrel::processor
