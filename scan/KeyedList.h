// An insertion-ordered list whose entries each carry a text key unique within the list.
//
// Entries are reached by 1-based position, by key, or in insertion order. Adding a key that
// the list already holds fails and leaves the list as it was. Keys are compared byte for
// byte. Lookups by position and by key take constant time, so lists of hundreds of
// thousands of entries (one per file of a large mail tree) stay cheap.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tolvik {

template <typename T>
class KeyedList {
public:
    using value_type = T;
    using const_iterator = typename std::vector<T>::const_iterator;

    // Appends `value` under `key`. Returns false, changing nothing, when the key is held.
    bool Add(std::string key, T value) {
        const auto [where, inserted] = index_.try_emplace(std::move(key), values_.size());
        if (!inserted) {
            return false;
        }
        keys_.push_back(where->first);
        values_.push_back(std::move(value));
        return true;
    }

    int Count() const { return static_cast<int>(values_.size()); }
    bool Empty() const { return values_.empty(); }

    // The entry at `position` (1 to Count()). Throws std::out_of_range outside that range.
    const T& Item(int position) const { return values_.at(IndexOf(position)); }

    // The entry held under `key`. Throws std::out_of_range when no entry has that key.
    const T& Item(const std::string& key) const {
        const T* found = ItemByKey(key);
        if (found == nullptr) {
            throw std::out_of_range("no entry with the key " + key);
        }
        return *found;
    }

    // The entry held under `key`, or nullptr when there is none.
    const T* ItemByKey(const std::string& key) const {
        const auto found = index_.find(key);
        return found == index_.end() ? nullptr : &values_[found->second];
    }

    bool Contains(const std::string& key) const { return index_.count(key) != 0; }

    // The 1-based position of the entry held under `key`, or 0 when there is none.
    int PositionOf(const std::string& key) const {
        const auto found = index_.find(key);
        return found == index_.end() ? 0 : static_cast<int>(found->second) + 1;
    }

    // The key of the entry at `position`. Throws std::out_of_range outside 1 to Count().
    const std::string& KeyAt(int position) const { return keys_.at(IndexOf(position)); }

    const_iterator begin() const { return values_.begin(); }
    const_iterator end() const { return values_.end(); }

private:
    static std::size_t IndexOf(int position) {
        if (position < 1) {
            throw std::out_of_range("list positions start at 1");
        }
        return static_cast<std::size_t>(position) - 1;
    }

    std::vector<T> values_;
    std::vector<std::string> keys_;
    std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace tolvik
