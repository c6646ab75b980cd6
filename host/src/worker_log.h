// The log's link to the worker observers: kv_printf and kv_dprintf tell the observer of the
// worker thread that logs.
#pragma once

// Tells the observer of the calling thread's kvThread, if it runs one, that it logs a line with
// `format`. Any thread.
void kvStandInTellWorkerLog(const char* format) noexcept;
