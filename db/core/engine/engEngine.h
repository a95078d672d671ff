#pragma once
// Start and stop of the engine, and its default session. Every thread that
// works with the engine uses a session of its own; the default one serves
// the process's main work.

class TDataSession;

// Starts the engine library and makes the default session; a second start
// does nothing.
void StartEngine();
// Frees the default session and stops the engine library.
void StopEngine();
// Engine error 10758 before the engine is started.
TDataSession* GetEngineSession();
// The caller owns the sessions; the engine frees the default one at stop.
void SetEngineSession(TDataSession* session);
TDataSession* CreateEngineSession(TDataSession*& session);
void FreeEngineSession(TDataSession* session);
