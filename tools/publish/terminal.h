#pragma once

// How a long command meets the terminal it runs in.

// From now on Ctrl+C and termination requests only raise a flag that the work
// polls, so that it can remove what it had begun before it ends. A second request
// ends the process at once.
void catchInterruptions();
bool interruptionRequested();

// Whether standard error shows on a terminal, where progress may redraw one line.
bool standardErrorIsTerminal();
