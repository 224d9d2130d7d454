// Key events on their way from the keyboards to the machine. Every key
// source (the PS/2 keyboard, USB keyboards) pushes into one queue from its
// interrupt handler, or with interrupts off; the main loop takes them out.
// One processor runs both sides, so producers never overlap each other and
// the consumer needs no lock: a producer fills the slot before it moves the
// head, the consumer reads the slot before it moves the tail.
#ifndef TARN_LIB_KEY_QUEUE_H
#define TARN_LIB_KEY_QUEUE_H

#include "lib/key_event.h"
#include "lib/types.h"

namespace tarn {

// Where a consumer takes key events from, oldest first.
class KeySource {
public:
    // The next event into *event; false when none waits.
    virtual bool next(KeyEvent* event) = 0;

protected:
    ~KeySource() = default;
};

class KeyQueue : public KeySource {
public:
    static constexpr u32 kCapacity = 256;  // a power of two

    // Appends an event; false (the event is dropped, the queue kept) when
    // the queue is full.
    bool push(KeyEvent event) {
        u32 head = head_;
        if (head - __atomic_load_n(&tail_, __ATOMIC_ACQUIRE) >= kCapacity) {
            dropped_ = dropped_ + 1;
            return false;
        }
        slots_[head & (kCapacity - 1)] = event;
        __atomic_store_n(&head_, head + 1, __ATOMIC_RELEASE);
        return true;
    }

    bool next(KeyEvent* event) override {
        u32 tail = tail_;
        if (tail == __atomic_load_n(&head_, __ATOMIC_ACQUIRE)) return false;
        *event = slots_[tail & (kCapacity - 1)];
        __atomic_store_n(&tail_, tail + 1, __ATOMIC_RELEASE);
        return true;
    }

    u32 size() const { return __atomic_load_n(&head_, __ATOMIC_ACQUIRE) - __atomic_load_n(&tail_, __ATOMIC_ACQUIRE); }
    // Events refused because the queue was full, since it was made.
    u32 dropped() const { return dropped_; }

private:
    KeyEvent slots_[kCapacity] = {};
    u32 head_ = 0;  // events ever pushed; written by producers only
    u32 tail_ = 0;  // events ever taken; written by the consumer only
    u32 dropped_ = 0;
};

}  // namespace tarn

#endif
