// Any thread, as RefCounter: the count is atomic. One CountedRef object is used by one thread at
// a time.
#pragma once

#include <utility>

// One counted reference to a RefCounter object: taken when made or copied, given back when
// destroyed. Messages and timers that name an object that can die hold it this way, so the
// object lives as long as they do. Every owner must count: an object that nobody has counted
// yet is deleted by the first release, this reference's included.
template <class T>
class CountedRef {
public:
    CountedRef() : object(nullptr) {}
    explicit CountedRef(T* t) : object(t) {
        if (object) object->addRef();
    }
    CountedRef(const CountedRef& other) : CountedRef(other.object) {}
    CountedRef(CountedRef&& other) noexcept : object(other.object) { other.object = nullptr; }
    CountedRef& operator=(CountedRef other) noexcept {
        std::swap(object, other.object);
        return *this;
    }
    ~CountedRef() { reset(); }

    void reset() {
        T* t = object;
        object = nullptr;
        if (t) t->release();
    }
    T* get() const { return object; }
    T* operator->() const { return object; }
    explicit operator bool() const { return object != nullptr; }

private:
    T* object;
};
