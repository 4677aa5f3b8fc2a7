#pragma once
// The data bytes of one event record: a growable byte array like
// std::vector<std::uint8_t>, held in a single word. Most records (channel
// events) hold no bytes at all, and a song keeps a hundred thousand records
// in each of several lists, so a record one third smaller is that much less
// memory to touch in every pass over a list. Up to seven bytes (an end of
// track, a tempo, a time or key signature, a GM System On) live in the word
// itself, so that copying the lists of a song does not allocate for them;
// longer ones are held behind a pointer, with their size and room in front.

#include <algorithm>
#include <bit>
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
    EventBytes(EventBytes&& other) noexcept : word_(std::exchange(other.word_, 0)) {}
    EventBytes& operator=(const EventBytes& other) {
        if (this != &other) assign(other.begin(), other.end());
        return *this;
    }
    EventBytes& operator=(EventBytes&& other) noexcept {
        std::swap(word_, other.word_);  // this block goes with other
        return *this;
    }
    ~EventBytes() {
        if (OnHeap()) ::operator delete(Block());
    }

    size_type size() const { return Inline() ? Tag() >> 1 : (word_ != 0 ? Block()->size : 0); }
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
        if (word_ != 0) SetSize(0);
    }
    // New bytes are zero.
    void resize(size_type n) {
        const size_type old = size();
        std::uint8_t* bytes = Reserve(n);
        if (n > old) std::memset(bytes + old, 0, n - old);
        if (word_ != 0) SetSize(n);
    }
    void push_back(std::uint8_t byte) {
        const size_type n = size();
        std::uint8_t* bytes = n == Room() ? Reserve(std::max<size_type>(16, 2 * n)) : data();
        bytes[n] = byte;
        SetSize(n + 1);
    }
    template <std::input_iterator It>
    void assign(It first, It last) {
        const auto n = static_cast<size_type>(std::distance(first, last));
        clear();
        if (n == 0) return;
        std::copy(first, last, Reserve(n));
        SetSize(n);
    }
    void swap(EventBytes& other) noexcept { std::swap(word_, other.word_); }

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
    // Held in the word: its lowest byte is 1 + twice the size, the bytes
    // follow it. A block's address is even, so that byte tells the two apart.
    static constexpr size_type kInlineRoom = sizeof(std::uintptr_t) - 1;
    static_assert(std::endian::native == std::endian::little, "the tag byte is the address's lowest byte");

    bool Inline() const { return (word_ & 1) != 0; }
    bool OnHeap() const { return word_ != 0 && !Inline(); }
    size_type Tag() const { return static_cast<size_type>(word_ & 0xFF); }
    Header* Block() const { return reinterpret_cast<Header*>(word_); }  // NOLINT: the word holds the block's address
    std::uint8_t* Word() const { return reinterpret_cast<std::uint8_t*>(const_cast<std::uintptr_t*>(&word_)); }
    size_type Room() const { return Inline() ? kInlineRoom : (word_ != 0 ? Block()->room : 0); }
    std::uint8_t* Bytes() const {
        if (Inline()) return Word() + 1;
        return word_ != 0 ? reinterpret_cast<std::uint8_t*>(Block() + 1) : nullptr;
    }
    void SetSize(size_type n) {
        if (Inline()) {
            Word()[0] = static_cast<std::uint8_t>(2 * n + 1);
        } else {
            Block()->size = static_cast<std::uint32_t>(n);
        }
    }
    // Room for at least room bytes; returns where the bytes are. Out of line:
    // growing is rare, and inlined it misleads g++'s bounds warnings (the
    // bytes may be in the word or in a block, which it cannot tell).
    [[gnu::noinline]] std::uint8_t* Reserve(size_type room) {
        if (room <= Room()) return Bytes();
        if (word_ == 0 && room <= kInlineRoom) {
            word_ = 1;  // no bytes yet, held in the word
            return Bytes();
        }
        auto* grown = static_cast<Header*>(::operator new(sizeof(Header) + room));
        *grown = {static_cast<std::uint32_t>(size()), static_cast<std::uint32_t>(room)};
        if (grown->size > 0) std::memcpy(grown + 1, data(), grown->size);
        if (OnHeap()) ::operator delete(Block());
        word_ = reinterpret_cast<std::uintptr_t>(grown);  // NOLINT: see Block
        return Bytes();
    }

    std::uintptr_t word_ = 0;
};

}  // namespace solvane
