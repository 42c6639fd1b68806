#pragma once

// Ctrl+C, a termination signal, or Ctrl+Break on Windows: the first asks the run to stop after
// the table in hand, as the window's Stop does; the second ends the program at once.

namespace vantero::cli {

void catchInterrupts();
bool interruptRequested();

} // namespace vantero::cli
