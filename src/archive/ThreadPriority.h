#pragma once
// Lowers the priority of the calling thread (a nice value, 0 to 19): its work then yields to
// the other threads of the program when the processors are busy.
void lowerCurrentThreadPriority(int nice);
