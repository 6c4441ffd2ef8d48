#pragma once
// The system's id of the calling thread, and raising a thread's scheduling priority by
// that id: the dispatcher's threads run at a boost the port asks for.

namespace port {

// Never 0.
int CurrentThreadId();
// Raises thread Tid by Boost steps (0: normal). A refusal (no privilege to raise the
// priority) leaves the thread as it was.
void RaiseThreadPriority(int Tid, int Boost);

} // namespace port
