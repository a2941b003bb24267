// SPDX-License-Identifier: MIT
#pragma once

// Deployment settings fixed when the program is built; nothing is read at run time.
namespace BuildConfig {

// The service's base address: an https URL whose path is exactly "/api".
extern const char *const apiBase;

// PEM certificates trusted in addition to the system's CAs (may be empty).
extern const char *const extraCaPem;

} // namespace BuildConfig
