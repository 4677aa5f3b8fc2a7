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
#include <new>
#include <utility>
#include <vector>

namespace solvane {

class EventBytes {
public:
    using value_type = std::uint8_t;
    using size_type = std::size_t;
    using difference_type = std::ptrdiff_t;
    using reference = std::uint8_t&;
    using const_reference = const std::uint8_t&;
    using pointer = std::uint8_t*;
    using const_pointer = const std::uint8_t*;
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
        if (this != &other) {
            Free();
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    ~EventBytes() { Free(); }

    size_type size() const { return block_ ? Head().size : 0; }
    bool empty() const { return size() == 0; }
    size_type capacity() const { return block_ ? Head().room : 0; }

    std::uint8_t* data() { return block_ ? Bytes() : nullptr; }
    const std::uint8_t* data() const { return block_ ? Bytes() : nullptr; }
    iterator begin() { return data(); }
    iterator end() { return data() + size(); }
    const_iterator begin() const { return data(); }
    const_iterator end() const { return data() + size(); }
    std::uint8_t& operator[](size_type i) { return data()[i]; }
    const std::uint8_t& operator[](size_type i) const { return data()[i]; }
    std::uint8_t& back() { return data()[size() - 1]; }
    const std::uint8_t& back() const { return data()[size() - 1]; }

    void clear() {
        if (block_) Head().size = 0;
    }
    void reserve(size_type room) {
        if (room > capacity()) Regrow(room);
    }
    void push_back(std::uint8_t byte) {
        const size_type n = size();
        if (n == capacity()) Regrow(std::max<size_type>(16, 2 * n));
        Bytes()[n] = byte;
        Head().size = static_cast<std::uint32_t>(n + 1);
    }
    // New bytes are zero.
    void resize(size_type n) {
        const size_type old = size();
        reserve(n);
        if (n > old) std::memset(data() + old, 0, n - old);
        if (block_) Head().size = static_cast<std::uint32_t>(n);
    }
    void assign(size_type n, std::uint8_t byte) {
        clear();
        reserve(n);
        if (n == 0) return;
        std::memset(data(), byte, n);
        Head().size = static_cast<std::uint32_t>(n);
    }
    template <std::input_iterator It>
    void assign(It first, It last) {
        const auto n = static_cast<size_type>(std::distance(first, last));
        clear();
        if (n == 0) return;
        reserve(n);
        std::copy(first, last, data());
        Head().size = static_cast<std::uint32_t>(n);
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

    Header& Head() { return *block_; }
    const Header& Head() const { return *block_; }
    std::uint8_t* Bytes() const { return reinterpret_cast<std::uint8_t*>(block_ + 1); }

    // Out of line: growing is rare, and inlined it misleads g++'s bounds warnings.
    [[gnu::noinline]] void Regrow(size_type room) {
        auto* grown = new (::operator new(sizeof(Header) + room)) Header{static_cast<std::uint32_t>(size()),
                                                                          static_cast<std::uint32_t>(room)};
        if (grown->size > 0) std::memcpy(grown + 1, Bytes(), grown->size);
        Free();
        block_ = grown;
    }
    void Free() {
        if (block_ == nullptr) return;
        block_->~Header();
        ::operator delete(block_);
        block_ = nullptr;
    }

    Header* block_ = nullptr;
};

}  // namespace solvane
