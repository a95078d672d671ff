#pragma once
// Threads in the shape of the Windows thread calls, on std::thread.
//
// A thread handle is shared: the thread keeps its own context alive, so a
// handle may be dropped while the thread runs, and a thread may drop the
// last reference to the object that created it. Dropping a handle never
// waits for the thread; threads are never killed.
//
// The handle is a waitable object signalled when the thread has ended,
// and the target of QueueUserAPC.

#include <cstdint>
#include <functional>

#include "osThreadContext.h"

// Runs body in a new thread, which holds before body while suspended.
// Null with errno set when no thread could be made. body must not throw.
TThreadHandle CreateThread(std::function<uint32_t()> body, bool createSuspended);

// Each returns the previous suspension count, or 0xFFFFFFFF for an empty
// handle. A running thread stops at its next wait, not at once.
uint32_t ResumeThread(const TThreadHandle& thread);
uint32_t SuspendThread(const TThreadHandle& thread);

// body's result once the thread has ended, STILL_ACTIVE before.
bool GetExitCodeThread(const TThreadHandle& thread, uint32_t& exitCode);
uint32_t GetThreadId(const TThreadHandle& thread);
