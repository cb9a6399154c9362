#pragma once
// The process-wide stop signal every worker thread and transfer watches.

// Sleeps up to ms unless a stop is requested; true when the caller must end.
bool vqWaitQuit(int ms);
// Raises the stop signal for every worker thread; never lowered, does not wait.
void vqQuitAll();
