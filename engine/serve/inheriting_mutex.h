// A mutex whose holder takes on the priority of the threads that wait for it. The paced ticks
// run at real-time priority and share the plant board with the clients' threads at the normal
// one: with a plain mutex, a client's thread preempted while holding it would hold the tick
// back for as long as the machine's load keeps it off the processor.
#pragma once

#include <pthread.h>

namespace tavrel::serve {

class InheritingMutex {
  public:
    InheritingMutex() {
        pthread_mutexattr_t attributes;
        pthread_mutexattr_init(&attributes);
        pthread_mutexattr_setprotocol(&attributes, PTHREAD_PRIO_INHERIT);
        pthread_mutex_init(&mutex_, &attributes);
        pthread_mutexattr_destroy(&attributes);
    }
    ~InheritingMutex() { pthread_mutex_destroy(&mutex_); }
    InheritingMutex(const InheritingMutex&) = delete;
    InheritingMutex& operator=(const InheritingMutex&) = delete;

    void lock() { pthread_mutex_lock(&mutex_); }
    void unlock() { pthread_mutex_unlock(&mutex_); }
    bool try_lock() { return pthread_mutex_trylock(&mutex_) == 0; }

  private:
    pthread_mutex_t mutex_;
};

} // namespace tavrel::serve
