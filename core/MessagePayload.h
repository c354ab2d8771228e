// Made by the posting thread, then touched only by the core task thread (the handler) and
// whoever deletes the message; no lock.
#pragma once

#include <memory>
#include <typeinfo>

#include "util/CountedRef.h"

// What a message carries, owned by the message: deleting the message (handled or not, or
// still queued when the queue goes) deletes the payload or gives back its reference.
class MessagePayload {
public:
    virtual ~MessagePayload() {}
    // The object held when it was posted as exactly that type, else null.
    virtual void* object(const std::type_info& type) = 0;
};

// An object the message owns until a handler takes it.
template <class T>
class OwnedPayload : public MessagePayload {
public:
    explicit OwnedPayload(std::unique_ptr<T> p) : held(std::move(p)) {}
    void* object(const std::type_info& type) override {
        return type == typeid(T) ? held.get() : nullptr;
    }
    std::unique_ptr<T> held;
};

// A counted reference to a shared object (a download, a search) that may otherwise die before
// the message is handled.
template <class T>
class CountedPayload : public MessagePayload {
public:
    explicit CountedPayload(CountedRef<T> r) : ref(std::move(r)) {}
    void* object(const std::type_info& type) override {
        return type == typeid(T) ? ref.get() : nullptr;
    }
    CountedRef<T> ref;
};
