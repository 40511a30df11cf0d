#include "dedupe/key_set.h"
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
    return {slot.stored + sizeof length, length};
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

bool KeySet::insert(std::string_view key) {
    const std::uint64_t hash = hashOf(key);
    std::size_t i = find(key, hash);
    if (m_slots[i].stored != nullptr)
        return false;
    // Keep the table at most 70% full so probes stay short.
    if ((m_size + 1) * 10 > m_slots.size() * 7) {
        grow();
        i = find(key, hash);
    }
    m_slots[i] = Slot{hash, store(key)};
    ++m_size;
    return true;
}

const char* KeySet::store(std::string_view key) {
    if (key.size() > std::numeric_limits<std::uint32_t>::max())
        throw std::length_error("The key of a row is too long to be remembered.");
    const std::size_t need = sizeof(std::uint32_t) + key.size();
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
    std::memcpy(at + sizeof length, key.data(), key.size());
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

void KeySet::clear() {
    m_slots.assign(kInitialSlots, Slot{});
    m_size = 0;
    m_blocks.clear();
    m_blockFree = nullptr;
    m_blockLeft = 0;
}

} // namespace dedupe
