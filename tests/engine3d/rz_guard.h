// Test helper for the rasteriser tests: buffers fenced by inaccessible pages, so that any read
// or write past either end faults at once (in every build, not only under the sanitizer), with
// the slack between the lower fence and the buffer filled with a pattern that is checked.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>

class rz_guarded {
public:
    explicit rz_guarded(size_t bytes) : size_(bytes)
    {
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t pages = (bytes + page - 1) / page;
        len_ = (pages + 2) * page;
        void* m = mmap(nullptr, len_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (m == MAP_FAILED)
            throw std::runtime_error("mmap failed");
        map_ = static_cast<uint8_t*>(m);
        if (mprotect(map_, page, PROT_NONE) != 0 || mprotect(map_ + len_ - page, page, PROT_NONE) != 0)
            throw std::runtime_error("mprotect failed");
        slack_ = map_ + page;
        data_ = map_ + page + pages * page - bytes; // the end touches the upper fence
        std::memset(slack_, pattern, static_cast<size_t>(data_ - slack_));
    }
    ~rz_guarded() { munmap(map_, len_); }
    rz_guarded(const rz_guarded&) = delete;
    rz_guarded& operator=(const rz_guarded&) = delete;

    uint8_t* data() { return data_; }
    template <class T> T* as() { return reinterpret_cast<T*>(data_); }
    size_t size() const { return size_; }
    // True when the slack below the buffer still holds its pattern.
    bool slack_intact() const
    {
        for (const uint8_t* p = slack_; p < data_; p++)
            if (*p != pattern)
                return false;
        return true;
    }

    static constexpr uint8_t pattern = 0xa5;

private:
    size_t size_, len_;
    uint8_t* map_;
    uint8_t* slack_;
    uint8_t* data_;
};
