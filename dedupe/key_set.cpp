#include "dedupe/key_set.h"
#include <algorithm>
#include <cstring>
#include <functional>
#include <limits>
#include <stdexcept>

namespace dedupe {

namespace {
constexpr std::size_t kInitialSlots = 1024; // a power of two
constexpr std::size_t kBlockSize = std::size_t{1} << 20;
} // namespace

KeySet::KeySet() : m_slots(kInitialSlots) {}

std::uint64_t KeySet::hashOf(std::string_view key) {
    // Mix the bits once more: slots are chosen by the low bits, and the library hash of short texts
    // is not guaranteed to spread them.
    std::uint64_t h = std::hash<std::string_view>{}(key);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return h;
}

std::string_view KeySet::keyAt(const Slot& slot) {
    std::uint32_t length;
    std::memcpy(&length, slot.stored, sizeof length);
    return {slot.stored + 2 * sizeof length, length};
}

std::size_t KeySet::find(std::string_view key, std::uint64_t hash) const {
    const std::size_t mask = m_slots.size() - 1;
    std::size_t i = static_cast<std::size_t>(hash) & mask;
    while (true) {
        const Slot& slot = m_slots[i];
        if (slot.stored == nullptr || (slot.hash == hash && keyAt(slot) == key))
            return i;
        i = (i + 1) & mask;
    }
}

bool KeySet::contains(std::string_view key) const {
    return m_slots[find(key, hashOf(key))].stored != nullptr;
}

bool KeySet::insert(std::string_view key, std::uint32_t* ordinal) {
    const std::uint64_t hash = hashOf(key);
    std::size_t i = find(key, hash);
    if (m_slots[i].stored != nullptr) {
        if (ordinal)
            std::memcpy(ordinal, m_slots[i].stored + sizeof(std::uint32_t), sizeof *ordinal);
        return false;
    }
    // Keep the table at most 70% full so probes stay short.
    if ((m_size + 1) * 10 > m_slots.size() * 7) {
        grow();
        i = find(key, hash);
    }
    if (ordinal)
        *ordinal = static_cast<std::uint32_t>(m_size);
    m_slots[i] = Slot{hash, store(key, static_cast<std::uint32_t>(m_size))};
    ++m_size;
    return true;
}

const char* KeySet::store(std::string_view key, std::uint32_t ordinal) {
    if (key.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("The key of a row is too long to be remembered.");
    const std::size_t need = 2 * sizeof(std::uint32_t) + key.size();
    char* at;
    if (need > kBlockSize / 4) {
        // An outsize key gets a block of its own; the current block stays in use.
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(need));
        at = m_blocks.back().get();
    } else {
        if (need > m_blockLeft) {
            m_blocks.push_back(std::make_unique_for_overwrite<char[]>(kBlockSize));
            m_blockFree = m_blocks.back().get();
            m_blockLeft = kBlockSize;
        }
        at = m_blockFree;
        m_blockFree += need;
        m_blockLeft -= need;
    }
    const auto length = static_cast<std::uint32_t>(key.size());
    std::memcpy(at, &length, sizeof length);
    std::memcpy(at + sizeof length, &ordinal, sizeof ordinal);
    std::memcpy(at + 2 * sizeof length, key.data(), key.size());
    return at;
}

void KeySet::grow() {
    std::vector<Slot> old(m_slots.size() * 2);
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    for (const Slot& slot : old) {
        if (slot.stored == nullptr)
            continue;
        std::size_t i = static_cast<std::size_t>(slot.hash) & mask;
        while (m_slots[i].stored != nullptr)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

namespace {
constexpr std::size_t kKeyBlockBits = 20;
constexpr std::size_t kKeyBlockSize = std::size_t{1} << kKeyBlockBits;
constexpr std::size_t kLengthBytes = 2;
constexpr std::size_t kFirstSlots = 16; // of each part of a RowKeySet

std::uint32_t rowKeyHash(std::string_view key) {
    std::uint64_t h = std::hash<std::string_view>{}(key);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}
} // namespace

RowKeySet::RowKeySet(std::size_t keyBudgetBytes, Hash hash)
    : m_budget(std::min<std::size_t>(keyBudgetBytes, kRowRef - kKeyBlockSize)), m_hash(hash ? hash : &rowKeyHash),
      m_parts(std::make_unique<Part[]>(std::size_t{1} << kPartBits)) {
    reset();
}

bool RowKeySet::sameKey(std::uint32_t ref, std::string_view key, const KeyOfRow& keyOfRow) const {
    if (ref & kRowRef)
        return keyOfRow(ref & ~kRowRef) == key;
    const char* at = m_blocks[ref >> kKeyBlockBits].get() + (ref & (kKeyBlockSize - 1));
    std::uint16_t length;
    std::memcpy(&length, at, sizeof length);
    return std::string_view(at + kLengthBytes, length) == key;
}

std::uint32_t RowKeySet::keep(std::string_view key) {
    const std::size_t need = kLengthBytes + key.size();
    if (key.size() > std::numeric_limits<std::uint16_t>::max())
        return kFree;
    if (m_blocks.empty() || m_used + need > kKeyBlockSize) {
        if ((m_blocks.size() + 1) * kKeyBlockSize > m_budget)
            return kFree;
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(kKeyBlockSize));
        m_used = 0;
    }
    char* at = m_blocks.back().get() + m_used;
    const auto length = static_cast<std::uint16_t>(key.size());
    std::memcpy(at, &length, sizeof length);
    std::memcpy(at + kLengthBytes, key.data(), key.size());
    const auto ref = static_cast<std::uint32_t>(((m_blocks.size() - 1) << kKeyBlockBits) + m_used);
    m_used += need;
    return ref;
}

bool RowKeySet::insert(std::string_view key, std::uint64_t row, const KeyOfRow& keyOfRow, std::uint32_t* ordinal) {
    if (contains(key, keyOfRow, ordinal))
        return false;
    remember(key, row, ordinal);
    return true;
}

bool RowKeySet::contains(std::string_view key, const KeyOfRow& keyOfRow, std::uint32_t* ordinal) {
    const std::uint32_t hash = m_hash(key);
    const std::uint16_t tag = tagOf(hash);
    const Part& part = partOf(hash);
    const Slot* slots = part.slots.get();
    std::size_t i = home(part, tag);
    for (; !slots[i].free(); i = next(part, i))
        if (slots[i].tag == tag && sameKey(refOf(slots[i].number()), key, keyOfRow)) {
            if (ordinal)
                *ordinal = slots[i].number();
            return true;
        }
    m_lookedUpHash = hash;
    m_lookedUpSlot = i;
    return false;
}

void RowKeySet::remember(std::string_view key, std::uint64_t row, std::uint32_t* ordinal) {
    const std::uint32_t hash = m_lookedUpHash;
    const std::uint16_t tag = tagOf(hash);
    Part& part = partOf(hash);
    std::size_t i = m_lookedUpSlot;
    // At most three quarters full, so probes stay short.
    if ((part.used + std::size_t{1}) * 4 > std::size_t{part.capacity} * 3) {
        const std::size_t grown = part.capacity + std::size_t{part.capacity} / 4;
        if (grown >= kFree)
            throw std::length_error("The table has more keys than the key set can hold.");
        resize(part, static_cast<std::uint32_t>(grown));
        for (i = home(part, tag); !part.slots[i].free(); i = next(part, i)) {
        }
    }
    if (m_size >= kFree)
        throw std::length_error("The table has more keys than the key set can hold.");
    std::uint32_t ref = keep(key);
    if (ref == kFree) {
        if (row >= kRowRef - 1)
            throw std::length_error("The table has more rows than the key set can tell apart.");
        ref = static_cast<std::uint32_t>(row) | kRowRef;
    }
    const auto number = static_cast<std::uint32_t>(m_size);
    if ((number >> kRefChunkBits) == m_refs.size())
        m_refs.push_back(std::make_unique_for_overwrite<std::uint32_t[]>(std::size_t{1} << kRefChunkBits));
    refOf(number) = ref;
    if (ordinal)
        *ordinal = number;
    part.slots[i] = Slot{tag, {static_cast<std::uint16_t>(number), static_cast<std::uint16_t>(number >> 16)}};
    ++part.used;
    ++m_size;
}

void RowKeySet::resize(Part& part, std::uint32_t capacity) {
    const std::unique_ptr<Slot[]> old = std::move(part.slots);
    part.slots = std::make_unique_for_overwrite<Slot[]>(capacity);
    std::fill_n(part.slots.get(), capacity, Slot{0, {0xFFFFu, 0xFFFFu}});
    const std::uint32_t oldCapacity = part.capacity;
    part.capacity = capacity;
    for (std::uint32_t j = 0; j < oldCapacity; ++j) {
        const Slot& slot = old[j];
        if (slot.free())
            continue;
        std::size_t i = home(part, slot.tag);
        while (!part.slots[i].free())
            i = next(part, i);
        part.slots[i] = slot;
    }
}

void RowKeySet::reset() {
    // First sizes from kFirstSlots up to one step of growth (a quarter) above it.
    constexpr std::size_t parts = std::size_t{1} << kPartBits;
    for (std::size_t p = 0; p < parts; ++p) {
        Part& part = m_parts[p];
        part.slots.reset();
        part.capacity = 0;
        part.used = 0;
        resize(part, static_cast<std::uint32_t>(kFirstSlots + kFirstSlots * p / parts / 4));
    }
}

void RowKeySet::clear() {
    m_size = 0;
    m_refs.clear();
    m_blocks.clear();
    m_used = 0;
    reset();
}

void KeySet::clear() {
    m_slots.assign(kInitialSlots, Slot{});
    m_size = 0;
    m_blocks.clear();
    m_blockFree = nullptr;
    m_blockLeft = 0;
}

} // namespace dedupe
