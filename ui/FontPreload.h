#pragma once

namespace fonts
{

// Reading the system's font configuration takes 5 to 15 ms, and the first text the window
// measures would wait for all of it: the program starts reading it on a thread of its own as
// it starts, and the first font the window asks for waits for the rest.
void preloadConfiguration();
void awaitConfiguration();

} // namespace fonts
