#pragma once
// HashTable64: a map addressed by the 64-bit fixed-key fingerprint of its
// keys. The fingerprint is the table's hash as is (no second hashing); the key
// is stored beside the value so that two different keys meeting on one
// fingerprint are detected when inserted. References to stored pairs stay
// valid while the table lives (entries are only added or replaced).
#include <cstdint>
#include <optional>
#include <unordered_map>
#include <utility>

#include "utils/error.h"
#include "utils/siphash.h"

namespace dravik {

template <typename K, typename V>
class HashTable64 {
   public:
    using Pair = std::pair<K, V>;

    // The fingerprint under which `key` is stored: the fixed-key hash of its feed.
    static uint64_t fingerprint(const K &key) { return fixed_hash(key); }

    // Stores (key, value). Returns the previous pair when the same key was
    // present; a different key on the same fingerprint is an internal error.
    std::optional<Pair> insert(K key, V value) {
        uint64_t f = fingerprint(key);
        auto it = map_.find(f);
        if (it == map_.end()) {
            map_.emplace(f, Pair(std::move(key), std::move(value)));
            return std::nullopt;
        }
        if (!(it->second.first == key)) fail("Hash collision detected in HashTable64");
        Pair old = std::move(it->second);
        it->second = Pair(std::move(key), std::move(value));
        return old;
    }

    // Lookup by fingerprint only; nullptr when absent.
    const Pair *address(uint64_t f) const {
        auto it = map_.find(f);
        return it == map_.end() ? nullptr : &it->second;
    }
    Pair *address_mut(uint64_t f) {
        auto it = map_.find(f);
        return it == map_.end() ? nullptr : &it->second;
    }
    // The stored pair, or `fallback` stored under `f` when there is none. Keys
    // are not compared.
    Pair &address_or(uint64_t f, Pair fallback) { return map_.try_emplace(f, std::move(fallback)).first->second; }

    std::size_t size() const { return map_.size(); }
    bool empty() const { return map_.empty(); }
    auto begin() const { return map_.begin(); }
    auto end() const { return map_.end(); }

   private:
    struct Identity {
        std::size_t operator()(uint64_t f) const noexcept { return std::size_t(f); }
    };
    std::unordered_map<uint64_t, Pair, Identity> map_;
};

}  // namespace dravik
