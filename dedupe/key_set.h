#pragma once
// The set of keys seen during a scan: exact, case-sensitive byte comparison. Keys are copied once into
// large blocks and the table holds only a hash and a pointer per key, so a million keys cost a few tens
// of megabytes and no allocation per key.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace dedupe {

class KeySet {
public:
    KeySet();

    // Adds `key`; false when it was already present.
    bool insert(std::string_view key);
    bool contains(std::string_view key) const;

    std::size_t size() const { return m_size; }
    void clear();

private:
    struct Slot {
        std::uint64_t hash = 0;
        const char* stored = nullptr; // length (uint32) followed by the bytes; null marks a free slot
    };

    static std::uint64_t hashOf(std::string_view key);
    std::size_t find(std::string_view key, std::uint64_t hash) const; // slot holding key, or a free slot
    static std::string_view keyAt(const Slot& slot);
    const char* store(std::string_view key);
    void grow();

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_blockFree = nullptr;
    std::size_t m_blockLeft = 0;
};

} // namespace dedupe
