// What the plug-in does when the host loads and unloads it. The platform
// files tie these to the operating system's notifications.
#pragma once

namespace miyi {

// Fixes the run directory and prepares the HTTP client. Never throws.
void on_load() noexcept;
// Releases the held descriptor and reply and what the platform holds for
// the random generator. Never throws.
void on_unload() noexcept;

}  // namespace miyi
