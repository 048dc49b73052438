// The JSON value model of the settings file: a tagged value whose containers are
// shared by reference, an insertion-ordered object with unique, case-sensitive keys,
// and an array addressed from 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace revertly::json {

class JsonObject;
class JsonArray;

// The kinds are compared exactly: Int16, Int32 and Double are three different kinds,
// so a setting stored as 5.0 does not pass for the integer 5.
enum class JsonKind { Null, Boolean, Int16, Int32, Double, String, Object, Array };

class JsonValue {
  public:
    JsonValue() = default;  // Null
    static JsonValue Boolean(bool value) { return JsonValue(Storage(value)); }
    static JsonValue Int16(std::int16_t value) { return JsonValue(Storage(value)); }
    static JsonValue Int32(std::int32_t value) { return JsonValue(Storage(value)); }
    static JsonValue Double(double value) { return JsonValue(Storage(value)); }
    static JsonValue String(std::u16string value) { return JsonValue(Storage(std::move(value))); }
    // An Object value may hold no reference at all (an absent object).
    static JsonValue Object(std::shared_ptr<JsonObject> object) {
        return JsonValue(Storage(std::move(object)));
    }
    static JsonValue Array(std::shared_ptr<JsonArray> array) {
        return JsonValue(Storage(std::move(array)));
    }

    JsonKind Kind() const { return static_cast<JsonKind>(storage_.index()); }
    bool Is(JsonKind kind) const { return Kind() == kind; }

    // Accessors for the payload; each requires the matching kind.
    bool AsBoolean() const { return std::get<bool>(storage_); }
    std::int16_t AsInt16() const { return std::get<std::int16_t>(storage_); }
    std::int32_t AsInt32() const { return std::get<std::int32_t>(storage_); }
    double AsDouble() const { return std::get<double>(storage_); }
    const std::u16string& AsString() const { return std::get<std::u16string>(storage_); }
    const std::shared_ptr<JsonObject>& AsObject() const {
        return std::get<std::shared_ptr<JsonObject>>(storage_);
    }
    const std::shared_ptr<JsonArray>& AsArray() const {
        return std::get<std::shared_ptr<JsonArray>>(storage_);
    }

    // The numeric value of an Int16, Int32 or Double; nothing for the other kinds.
    std::optional<double> AsNumber() const;

  private:
    // The order of the alternatives is the order of JsonKind.
    using Storage =
        std::variant<std::monostate, bool, std::int16_t, std::int32_t, double, std::u16string,
                     std::shared_ptr<JsonObject>, std::shared_ptr<JsonArray>>;
    explicit JsonValue(Storage storage) : storage_(std::move(storage)) {}
    Storage storage_;
};

// An ordered map from keys to values. Iteration follows insertion order; setting an
// existing key replaces its value in place, removing a key closes the gap.
//
// Removal only marks the entry dead and drops it from the index; the dead entries are
// swept out once they outnumber the live ones. That keeps remove-then-add (a repeated key
// in a file, the defaults merged into a large object) linear overall instead of
// quadratic, so a hostile settings file of a few MiB cannot stall start-up.
class JsonObject {
  public:
    struct Entry {
        std::u16string key;
        JsonValue value;
    };

    std::size_t Count() const { return index_.size(); }
    bool Exists(std::u16string_view key) const;
    // Appends the key with the value. A key already present is removed from its place
    // first, so the last value added for a key stands last.
    void Add(std::u16string key, JsonValue value);
    // Removes the key if present.
    void Remove(std::u16string_view key);
    // The value under the key, or nullptr.
    const JsonValue* Get(std::u16string_view key) const;
    JsonValue* Get(std::u16string_view key);
    // Replaces the value of an existing key in place, or appends a missing one.
    void Set(std::u16string_view key, JsonValue value);
    // The keys in order.
    std::vector<std::u16string> Keys() const;

    // Calls f(key, value) for each entry in order.
    template <typename F>
    void ForEach(F&& f) const {
        for (const Slot& slot : slots_) {
            if (slot.live) {
                f(slot.entry.key, slot.entry.value);
            }
        }
    }

  private:
    struct Slot {
        Entry entry;
        bool live;
    };
    void KillSlot(std::size_t position);
    void SweepIfMostlyDead();
    void SweepDeadSlots();

    // Lets the index be searched with a string_view, without building a string per lookup.
    struct KeyHash {
        using is_transparent = void;
        std::size_t operator()(std::u16string_view key) const {
            return std::hash<std::u16string_view>{}(key);
        }
    };

    std::vector<Slot> slots_;
    // key -> position in slots_
    std::unordered_map<std::u16string, std::size_t, KeyHash, std::equal_to<>> index_;
};

// An ordered list of values, positions counted from 1.
class JsonArray {
  public:
    std::size_t Count() const { return items_.size(); }
    const JsonValue& Item(std::size_t position) const { return items_.at(position - 1); }
    JsonValue& Item(std::size_t position) { return items_.at(position - 1); }
    void Append(JsonValue value) { items_.push_back(std::move(value)); }
    // Inserts directly after the given position (0 inserts at the front).
    void InsertAfter(std::size_t position, JsonValue value);
    void Remove(std::size_t position);
    const std::vector<JsonValue>& Items() const { return items_; }

  private:
    std::vector<JsonValue> items_;
};

}  // namespace revertly::json
