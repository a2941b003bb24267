// SPDX-License-Identifier: MIT
#pragma once

#include <string_view>

namespace StrictJson {

// True when the bytes are exactly one JSON text: RFC 8259's grammar over well-formed UTF-8 (as Qt
// judges it), with every \u escape part of a whole character (no lone surrogates). Written apart
// from the reply reader and simdjson, as the fuzzer's independent judge of what is JSON.
bool isJsonText(std::string_view text);

} // namespace StrictJson
