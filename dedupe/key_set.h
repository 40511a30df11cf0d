#pragma once
// The set of keys seen during a scan: exact, case-sensitive byte comparison. Keys are copied once into
// large blocks and the table holds only a hash and a pointer per key, so a million keys cost a few tens
// of megabytes and no allocation per key.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace dedupe {

class KeySet {
public:
    KeySet();

    // Adds `key`; false when it was already present. `ordinal`, when given, receives the key's number in
    // the order keys were first added (0, 1, 2, ...), whether it is new or not.
    bool insert(std::string_view key, std::uint32_t* ordinal = nullptr);
    bool contains(std::string_view key) const;

    std::size_t size() const { return m_size; }
    void clear();

private:
    struct Slot {
        std::uint64_t hash = 0;
        const char* stored = nullptr; // length and ordinal (uint32 each), then the bytes; null: a free slot
    };

    static std::uint64_t hashOf(std::string_view key);
    std::size_t find(std::string_view key, std::uint64_t hash) const; // slot holding key, or a free slot
    static std::string_view keyAt(const Slot& slot);
    const char* store(std::string_view key, std::uint32_t ordinal);
    void grow();

    std::vector<Slot> m_slots;
    std::size_t m_size = 0;
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_blockFree = nullptr;
    std::size_t m_blockLeft = 0;
};

// The keys of a scan's rows in little memory: a slot of 6 bytes per key, the high 16 bits of a 32-bit
// hash and the key's ordinal (which tells the groups apart), and by ordinal a reference of 4 bytes. While
// its budget lasts the set keeps each key's bytes as well, so a matching hash is checked with a compare;
// past the budget the reference is the row's place in the scan and a matching hash is checked against the
// key read back from that row. Either way a row repeats an earlier one only when their keys are equal byte
// for byte: a hash collision never removes a row.
//
// The slots are split into many small tables, chosen by the low bits of the hash, that grow one at a time
// by a quarter: growing copies one small table, never the whole set, so the peak stays at the set's own
// size. Their first sizes are spread over one step of growth, so they do not all grow at the same count
// of keys and the set as a whole is about as full at any size. A slot's 16 bits and its table's 10 leave
// a key of another hash matching one in 67 million: reading a row back for it is rare.
class RowKeySet {
public:
    using Hash = std::uint32_t (*)(std::string_view key);
    using KeyOfRow = std::function<std::string(std::uint64_t row)>;
    // Enough for the first 4 million keys of two short text fields: a repeat far from its first row is
    // then still found by a compare (reading a row back costs a statement).
    static constexpr std::size_t kDefaultKeyBudget = std::size_t{96} << 20;

    // `hash` replaces the set's own hash function (tests force collisions with it).
    explicit RowKeySet(std::size_t keyBudgetBytes = kDefaultKeyBudget, Hash hash = nullptr);

    // Adds the key of scan row `row`; false when an earlier row has the same key. `keyOfRow` gives the
    // key of an earlier row whose key bytes were not kept. `ordinal`, when given, receives the key's number
    // in the order keys were first added (0, 1, 2, ...), whether it is new or not.
    bool insert(std::string_view key, std::uint64_t row, const KeyOfRow& keyOfRow, std::uint32_t* ordinal = nullptr);
    // The two halves of insert, for a caller that tells a failed look-up from a failed remembering:
    // whether an earlier row has the key (its ordinal then set), and then (only right after a `contains`
    // that said no, for the same key) remembering it as the key of scan row `row`.
    bool contains(std::string_view key, const KeyOfRow& keyOfRow, std::uint32_t* ordinal = nullptr);
    void remember(std::string_view key, std::uint64_t row, std::uint32_t* ordinal = nullptr);

    std::size_t size() const { return m_size; }
    void clear();

private:
    struct Slot {
        std::uint16_t tag;        // the hash's high bits
        std::uint16_t ordinal[2]; // low half, high half (kept apart: a slot of 6 bytes); kFree: a free slot

        std::uint32_t number() const { return ordinal[0] | std::uint32_t{ordinal[1]} << 16; }
        bool free() const { return (ordinal[0] & ordinal[1]) == 0xFFFFu; }
    };
    static_assert(sizeof(Slot) == 6);
    // One of the small tables: linear probing over `capacity` slots (any count, not a power of two).
    struct Part {
        std::unique_ptr<Slot[]> slots;
        std::uint32_t capacity = 0;
        std::uint32_t used = 0;
    };
    static constexpr std::uint32_t kFree = 0xFFFFFFFFu;
    static constexpr std::uint32_t kRowRef = 0x80000000u;
    static constexpr unsigned kPartBits = 10;
    static constexpr unsigned kRefChunkBits = 16;

    // kRowRef set: a scan row; otherwise where the key's bytes are kept.
    std::uint32_t& refOf(std::uint32_t ordinal) {
        return m_refs[ordinal >> kRefChunkBits][ordinal & ((1u << kRefChunkBits) - 1)];
    }
    bool sameKey(std::uint32_t ref, std::string_view key, const KeyOfRow& keyOfRow) const;
    Part& partOf(std::uint32_t hash) { return m_parts[hash & ((1u << kPartBits) - 1)]; }
    static std::uint16_t tagOf(std::uint32_t hash) { return static_cast<std::uint16_t>(hash >> 16); }
    // The slot a key starts at within its part: chosen by the hash's high bits (all a slot keeps, so a
    // part can grow), the part by the low ones. A part past 65,536 slots (some 50 million keys in all)
    // starts keys at every few slots only, and its probes get a little longer.
    static std::size_t home(const Part& part, std::uint16_t tag) { return (std::size_t{tag} * part.capacity) >> 16; }
    static std::size_t next(const Part& part, std::size_t i) { return i + 1 == part.capacity ? 0 : i + 1; }
    std::uint32_t keep(std::string_view key); // kFree when the budget does not allow it
    void resize(Part& part, std::uint32_t capacity);
    void reset();

    std::size_t m_budget;
    Hash m_hash;
    std::unique_ptr<Part[]> m_parts;
    std::uint32_t m_lookedUpHash = 0; // of the key the last `contains` did not find
    std::size_t m_lookedUpSlot = 0;   // the free slot where it ended, in the part of that hash
    std::size_t m_size = 0;
    std::vector<std::unique_ptr<std::uint32_t[]>> m_refs; // by ordinal, in chunks that are never moved
    std::vector<std::unique_ptr<char[]>> m_blocks;
    std::size_t m_used = 0; // bytes used in the last block
};

} // namespace dedupe
