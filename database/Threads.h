// Whether this build reads ahead on threads of its own, and the standard
// headers the classes that do (ReadAhead, RecordStream, SharedWork) need
// then.  The build sets ONDREL_READ_AHEAD_THREAD (the CMake option
// ONDREL_READ_AHEAD); a build for a system without threads sets it to 0.
#pragma once

#ifndef ONDREL_READ_AHEAD_THREAD
#define ONDREL_READ_AHEAD_THREAD 1
#endif
#if ONDREL_READ_AHEAD_THREAD
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#endif
