#pragma once
// Start and stop of the engine library: the process-wide objects that the
// engine's parts share. The engine start runs it once before anything else.

// Resets the heap counters and creates the shared pools and lists; a
// second start without a stop does nothing.
void StartEngineLibrary();
// Frees them again, in reverse order. Nothing may use them afterwards.
void StopEngineLibrary();
