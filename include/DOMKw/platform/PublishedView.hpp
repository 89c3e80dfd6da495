// A form of a string's text that a higher layer builds on request (DOMBTString's 8-bit and UTF-32
// views). It is built at most once per state of the text and then only read: threads reading one const
// string (a shared key name, a schema constant) share it, and none frees what another is reading. The
// string drops it whenever its text changes, which only its owner does.
#pragma once

#include <atomic>
#include <memory>

template <class T> class PublishedView {
public:
    PublishedView() = default;
    ~PublishedView() { delete[] fView.load(std::memory_order_relaxed); }
    PublishedView(const PublishedView&) = delete;
    PublishedView& operator=(const PublishedView&) = delete;

    // The published view, or null when none is built for the present text.
    const T* get() const noexcept { return fView.load(std::memory_order_acquire); }

    // Publishes `built` unless another reader published first; answers the view that stays (a losing
    // reader's buffer is freed here, before anyone saw it).
    const T* publish(std::unique_ptr<T[]> built) const noexcept {
        T* expected = nullptr;
        if (fView.compare_exchange_strong(expected, built.get(), std::memory_order_acq_rel,
                                          std::memory_order_acquire))
            return built.release();
        return expected;
    }

    // The text changed: the view is stale. Only the string's owner changes the text, never while
    // others read it, so nothing can still be reading the old view.
    void drop() noexcept { delete[] fView.exchange(nullptr, std::memory_order_relaxed); }

private:
    mutable std::atomic<T*> fView{nullptr};
};
