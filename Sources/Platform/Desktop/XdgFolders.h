#pragma once

#include <filesystem>

namespace vi::platform {

// The per-user base folders of the XDG base directory rules: an absolute path in the
// environment variable, else the default under $HOME. Nothing is created here.

// $XDG_DATA_HOME, default ~/.local/share: application data (the wallpaper cache).
std::filesystem::path xdgDataHome();

} // namespace vi::platform
