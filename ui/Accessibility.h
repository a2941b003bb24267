// SPDX-License-Identifier: MIT
#pragma once

// What assistive tools read of the app's Qt Quick items beyond what Qt Quick 6.4 tells them: an
// item that is disabled (a button that cannot be pressed yet) is reported as unavailable, and
// tools hear when that changes. Call once, after the QGuiApplication exists and before the first
// window; later calls do nothing.
void installAccessibility();
