#pragma once
// The floor for an Echo send: one process writes a character to a pty and
// waits for its echo, another reads it and writes it back, with nothing in
// between but the kernel. Returns the time per character in nanoseconds.

namespace quorlin::bench {

double BareEchoNanosPerChar(int characters);

}  // namespace quorlin::bench
