#pragma once
// The data bytes of one event record: a growable byte array like
// std::vector<std::uint8_t>, but held behind a single pointer with its size and
// room in front of the bytes. Most records (channel events) hold no bytes at
// all, and a song keeps a hundred thousand records in each of several lists,
// so a record one third smaller is that much less memory to touch in every
// pass over a list.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <utility>
#include <vector>

namespace solvane {

class EventBytes {
public:
    using value_type = std::uint8_t;
    using size_type = std::size_t;
    using iterator = std::uint8_t*;
    using const_iterator = const std::uint8_t*;

    EventBytes() = default;
    EventBytes(std::initializer_list<std::uint8_t> bytes) { assign(bytes.begin(), bytes.end()); }
    EventBytes(const std::vector<std::uint8_t>& bytes) { assign(bytes.begin(), bytes.end()); }  // NOLINT: as a vector converts
    EventBytes(const EventBytes& other) { assign(other.begin(), other.end()); }
    EventBytes(EventBytes&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    EventBytes& operator=(const EventBytes& other) {
        if (this != &other) assign(other.begin(), other.end());
        return *this;
    }
    EventBytes& operator=(EventBytes&& other) noexcept {
        std::swap(block_, other.block_);  // this block goes with other
        return *this;
    }
    ~EventBytes() {
        if (block_ != nullptr) ::operator delete(block_);
    }

    size_type size() const { return block_ ? block_->size : 0; }
    bool empty() const { return size() == 0; }
    std::uint8_t* data() { return Bytes(); }
    const std::uint8_t* data() const { return Bytes(); }
    iterator begin() { return Bytes(); }
    iterator end() { return Bytes() + size(); }
    const_iterator begin() const { return Bytes(); }
    const_iterator end() const { return Bytes() + size(); }
    std::uint8_t& operator[](size_type i) { return Bytes()[i]; }
    const std::uint8_t& operator[](size_type i) const { return Bytes()[i]; }

    void clear() {
        if (block_) block_->size = 0;
    }
    // New bytes are zero.
    void resize(size_type n) {
        const size_type old = size();
        Reserve(n);
        if (n > old) std::memset(data() + old, 0, n - old);
        if (block_) block_->size = static_cast<std::uint32_t>(n);
    }
    void push_back(std::uint8_t byte) {
        const size_type n = size();
        if (n == Room()) Reserve(std::max<size_type>(16, 2 * n));
        data()[n] = byte;
        block_->size = static_cast<std::uint32_t>(n + 1);
    }
    template <std::input_iterator It>
    void assign(It first, It last) {
        const auto n = static_cast<size_type>(std::distance(first, last));
        clear();
        if (n == 0) return;
        Reserve(n);
        std::copy(first, last, data());
        block_->size = static_cast<std::uint32_t>(n);
    }
    void swap(EventBytes& other) noexcept { std::swap(block_, other.block_); }

    friend bool operator==(const EventBytes& a, const EventBytes& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }
    friend bool operator==(const EventBytes& a, const std::vector<std::uint8_t>& b) {
        return std::equal(a.begin(), a.end(), b.begin(), b.end());
    }

private:
    struct Header {
        std::uint32_t size;
        std::uint32_t room;
    };

    size_type Room() const { return block_ ? block_->room : 0; }
    std::uint8_t* Bytes() const { return block_ ? reinterpret_cast<std::uint8_t*>(block_ + 1) : nullptr; }
    // Out of line: growing is rare, and inlined it misleads g++'s bounds warnings.
    [[gnu::noinline]] void Reserve(size_type room) {
        if (room <= Room()) return;
        auto* grown = static_cast<Header*>(::operator new(sizeof(Header) + room));
        *grown = {static_cast<std::uint32_t>(size()), static_cast<std::uint32_t>(room)};
        if (grown->size > 0) std::memcpy(grown + 1, data(), grown->size);
        ::operator delete(block_);
        block_ = grown;
    }

    Header* block_ = nullptr;
};

}  // namespace solvane
