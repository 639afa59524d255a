#pragma once
// The font of the NC editor and of the communication log: one whose
// characters all take the same width, so that columns of a program line up.
//
// The system's fixed font comes first, but the flag that says a face is
// fixed pitch is not to be trusted: fontconfig leaves it off for some faces
// whose glyphs are all of one width, and a machine without a monospaced
// face at all hands out a proportional one for "monospace". So the width is
// measured, and a short list of common monospaced families is tried when
// the system's font fails.

#include <QFont>

namespace quorlin {

// True when "i", "W", "0" and "." take the same advance in the font the
// window system actually resolves for it.
bool IsMonospacedByMeasure(const QFont& font);

// The system's fixed font if it measures monospaced, else the first family
// of the fallback list that does, at the system font's size; the system's
// font when none does.
QFont FixedPitchFont();

}  // namespace quorlin
