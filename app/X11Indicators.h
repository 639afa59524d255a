#pragma once
// The keyboard's lock lights as the X server keeps them (its keyboard
// extension's named indicators). Under X11 this is the session's own state,
// also where /sys shows no keyboard lights (virtual and remote displays,
// keyboards whose lights the kernel does not drive).

#include <optional>

namespace quorlin {

// Whether the indicator named name ("Caps Lock", "Num Lock", "Scroll Lock")
// is lit; nothing when the program does not run on the X11 platform, the
// build has no XKB support, or the server does not know the indicator.
std::optional<bool> X11IndicatorState(const char* name);

}  // namespace quorlin
