// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

// The bearer token kept between runs: the string under "qlx_token" in the user's settings
// (organisation "Quorl", application "Quorl Bank"). The file is owner-only (0600) from its first
// write. Every read and write goes straight to the settings; nothing is cached here.
namespace TokenStore {

[[nodiscard]] std::optional<QString> read();
// A value stores it (an empty string included); nullopt removes the key.
void write(const std::optional<QString> &token);

} // namespace TokenStore
