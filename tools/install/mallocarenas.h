#pragma once

// Caps the C library's allocation arenas at two, before any thread starts. The
// pool threads each got an arena of their own, and what they make for the main
// thread (the scan's records of every file, a chunk's bytes) stays in it: with a
// hundred thousand files those half-used arenas were a tenth of the install's
// memory. Two arenas still let the two kinds of work, network and pool, allocate
// side by side.
void limitMallocArenas();
